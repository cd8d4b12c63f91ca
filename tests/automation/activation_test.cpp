#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/inotify.h>
#include <unistd.h>

#include "private_bus.h"
#include "program_harness.h"

namespace vesmera {
namespace {

// The executable the bus starts for a client. Point this at the real program (build/bin/vesmera)
// once its entry runs the start-up hook and the automation server.
constexpr const char* kActivatedProgram = VESMERA_ACTIVATED_PROGRAM;

constexpr int kCallTimeoutMs = 30000;

// A separate installation: a copy of the executable in a folder with a blank in its name and
// settings of its own that keep a real program off any serial port of this machine.
class Installation {
public:
    Installation() {
        folder = root.filePath("Vesmera Scale");
        QDir().mkpath(folder);
        executable = folder + "/vesmera";
        QFile::copy(kActivatedProgram, executable);
        QFile::setPermissions(executable, QFile::permissions(kActivatedProgram));
        QFile ini(folder + "/Vesmera.ini");
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Настройки порта]\r\nПорт=/nonexistent/vesmera-test-port\r\n"
                      "[Общие]\r\nСетевой режим=1\r\n");
        dataHome = root.filePath("data");
    }

    struct Run {
        int exitCode;
        QString errors;
    };

    Run Start(const QStringList& args, const QString& xdgDataHome, const QString& bus = QString()) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", xdgDataHome);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("DBUS_SESSION_BUS_ADDRESS",
                   bus.isEmpty() ? QString("unix:path=/nonexistent/vesmera-no-bus") : bus);
        process.setProcessEnvironment(env);
        process.start(executable, args);
        process.waitForFinished(kCallTimeoutMs);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString ServiceFile(const char* name) const { return dataHome + "/dbus-1/services/" + name; }

    QTemporaryDir root;
    QString folder, executable, dataHome;
};

// The names of the files opened in a folder while this lives.
class FilesOpened {
public:
    explicit FilesOpened(const QString& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, folder.toLocal8Bit().constData(), IN_OPEN);
    }
    ~FilesOpened() { ::close(fd_); }
    FilesOpened(const FilesOpened&) = delete;
    FilesOpened& operator=(const FilesOpened&) = delete;

    QStringList Names() const {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        ssize_t size;
        while ((size = ::read(fd_, buffer, sizeof buffer)) > 0)
            for (char* at = buffer; at < buffer + size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                const QString name = QString::fromLocal8Bit(event->name);
                if (event->len > 0 && !names.contains(name))
                    names << name;
                at += sizeof(inotify_event) + event->len;
            }
        return names;
    }

private:
    int fd_;
};

QString ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(Activation, PerUserRegistrationWritesAndRemovesTheFiles) {
    Installation inst;
    ASSERT_EQ(inst.Start({"/REGSERVERPERUSER"}, inst.dataHome).exitCode, 0);
    EXPECT_EQ(ReadAll(inst.ServiceFile("Vesmera.Data.service")),
              "[D-BUS Service]\nName=Vesmera.Data\nExec=\"" + inst.executable + "\" /AUTOMATION\n");
    EXPECT_EQ(ReadAll(inst.ServiceFile("Vesmera.ScAuto.service")),
              "[D-BUS Service]\nName=Vesmera.ScAuto\nExec=\"" + inst.executable +
                  "\" /AUTOMATION\n");
    EXPECT_TRUE(QFile::exists(inst.dataHome + "/dbus-1/interfaces/Vesmera.IData.xml"));
    EXPECT_TRUE(QFile::exists(inst.dataHome + "/dbus-1/interfaces/Vesmera.IScAuto.xml"));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(inst.Start({"/unregserverperuser"}, inst.dataHome).exitCode, 0);
    EXPECT_FALSE(QFile::exists(inst.ServiceFile("Vesmera.Data.service")));
    EXPECT_FALSE(QFile::exists(inst.ServiceFile("Vesmera.ScAuto.service")));
    EXPECT_FALSE(QFile::exists(inst.dataHome + "/dbus-1/interfaces/Vesmera.IData.xml"));
    EXPECT_FALSE(QFile::exists(inst.dataHome + "/dbus-1/interfaces/Vesmera.IScAuto.xml"));
}

TEST(Activation, UnwritableRegistrationEndsWithCodeOne) {
    Installation inst;
    QFile blocker(inst.root.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Installation::Run run = inst.Start({"-RegServerPerUser"}, blocker.fileName());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains("Error creating system registry entry"))
        << run.errors.toStdString();
}

// The X windows of `display` whose title is `title`.
QStringList WindowsTitled(const std::string& display, const QString& title) {
    QProcess search;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display));
    search.setProcessEnvironment(env);
    search.start("xdotool", {"search", "--name", "^" + title + "$"});
    search.waitForFinished(kCallTimeoutMs);
    return QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Where a display exists the failure is an error box, and the program ends with code 1 once
// the user has closed it.
TEST(Activation, UnwritableRegistrationShowsTheErrorBoxWhereADisplayExists) {
    auto x = harness::XServer::Start();
    if (!x)
        GTEST_SKIP() << "Xvfb cannot be started";
    Installation inst;
    QFile blocker(inst.root.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", blocker.fileName());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", QString::fromStdString(x->Display()));
    env.remove("WAYLAND_DISPLAY");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vesmera-no-bus");
    program.setProcessEnvironment(env);
    program.start(inst.executable, {"/RegServerPerUser"});
    ASSERT_TRUE(program.waitForStarted(kCallTimeoutMs));
    QStringList boxes;
    test::WaitUntil(
        [&] {
            boxes = WindowsTitled(x->Display(), "Vesmera");
            return !boxes.isEmpty() || program.state() == QProcess::NotRunning;
        },
        kCallTimeoutMs);
    ASSERT_FALSE(boxes.isEmpty()) << "no box; the program said: "
                                  << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.state(), QProcess::Running); // the box waits for its answer
    // A window is found before it takes keys; a key that came too early is pressed again.
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            QProcess key;
            key.setProcessEnvironment(env);
            key.start("xdotool", {"key", "--window", boxes.first(), "Return"});
            key.waitForFinished(kCallTimeoutMs);
            return program.waitForFinished(500);
        },
        kCallTimeoutMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
}

class ActivatedServer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(inst.Start({"/REGSERVERPERUSER"}, inst.dataHome).exitCode, 0);
        bus = std::make_unique<test::PrivateBus>(inst.dataHome + "/dbus-1/services", display);
        ASSERT_TRUE(bus->Running());
        client = bus->Connect("client");
        ASSERT_TRUE(client.isConnected());
    }

    QDBusMessage Call(const QString& service, const QString& path, const QString& iface,
                      const QString& method, const QVariantList& args = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, iface, method);
        message.setArguments(args);
        return client.call(message, QDBus::Block, kCallTimeoutMs);
    }

    QString CreateScAuto() {
        const QDBusMessage reply =
            Call("Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "CreateInstance");
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusObjectPath>().path();
    }

    QString Owner(const char* name) { return client.interface()->serviceOwner(name).value(); }
    bool Gone() { return !client.interface()->isServiceRegistered("Vesmera.ScAuto").value(); }

    test::ActivationDisplay display = test::ActivationDisplay::Offscreen;
    Installation inst;
    std::unique_ptr<test::PrivateBus> bus;
    QDBusConnection client{QString()};
};

TEST_F(ActivatedServer, StartsForAClientAndEndsAfterItsLastRelease) {
    EXPECT_TRUE(Gone());
    const QString object = CreateScAuto();
    ASSERT_FALSE(object.isEmpty());
    const QString first = Owner("Vesmera.ScAuto");
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(Owner("Vesmera.Data"), first); // one process serves both classes
    const QDBusMessage weight =
        Call("Vesmera.ScAuto", object, "Vesmera.IScAuto", "GetWeight",
             {QVariant::fromValue(short(0)), QVariant::fromValue(short(0))});
    // In network mode the serial polls never run, so a fresh program still holds weight 0.
    ASSERT_EQ(weight.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(weight.arguments().value(0).value<QDBusVariant>().variant().metaType().id(),
              QMetaType::Double);
    EXPECT_EQ(weight.arguments().value(0).value<QDBusVariant>().variant().toDouble(), 0.0);

    EXPECT_EQ(Call("Vesmera.ScAuto", object, "Vesmera.Object", "Release").type(),
              QDBusMessage::ReplyMessage);
    ASSERT_TRUE(test::WaitUntil([&] { return Gone(); }, kCallTimeoutMs));

    // The next client starts a new copy.
    const QString again = CreateScAuto();
    EXPECT_FALSE(again.isEmpty());
    const QString second = Owner("Vesmera.ScAuto");
    EXPECT_NE(second, first);
    Call("Vesmera.ScAuto", again, "Vesmera.Object", "Release");
    ASSERT_TRUE(test::WaitUntil([&] { return Gone(); }, kCallTimeoutMs));
}

// Any message to a name starts the program: one that then serves no object ends by itself,
// and following the reading does not keep it.
TEST_F(ActivatedServer, ACopyStartedForNoObjectEnds) {
    const QDBusMessage tree =
        Call("Vesmera.ScAuto", "/Vesmera", "org.freedesktop.DBus.Introspectable", "Introspect");
    ASSERT_EQ(tree.type(), QDBusMessage::ReplyMessage) << tree.errorMessage().toStdString();
    EXPECT_FALSE(Owner("Vesmera.ScAuto").isEmpty());
    EXPECT_EQ(Call("Vesmera.ScAuto", "/Vesmera/Reading", "Vesmera.Reading", "Get").type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(Call("Vesmera.ScAuto", "/Vesmera/ScAuto", "org.freedesktop.DBus.Properties", "GetAll",
                   {QString("Vesmera.ClassFactory")})
                  .signature(),
              "a{sv}");
    EXPECT_TRUE(test::WaitUntil([&] { return Gone(); }, kCallTimeoutMs));
}

// Started by a bus whose programs find no display, it serves without windows.
class WithoutDisplay : public ActivatedServer,
                       public testing::WithParamInterface<test::ActivationDisplay> {
protected:
    WithoutDisplay() { display = GetParam(); }
};

TEST_P(WithoutDisplay, ServesAutomation) {
    const QString object = CreateScAuto();
    ASSERT_FALSE(object.isEmpty());
    const QDBusMessage status =
        Call("Vesmera.ScAuto", object, "Vesmera.IScAuto", "GetStatus",
             {QVariant::fromValue(short(0)), QVariant::fromValue(short(0))});
    ASSERT_EQ(status.type(), QDBusMessage::ReplyMessage) << status.errorMessage().toStdString();
    EXPECT_EQ(status.arguments().value(0).value<QDBusVariant>().variant().metaType().id(),
              QMetaType::Int);
    Call("Vesmera.ScAuto", object, "Vesmera.Object", "Release");
    EXPECT_TRUE(test::WaitUntil([&] { return Gone(); }, kCallTimeoutMs));
}

INSTANTIATE_TEST_SUITE_P(Displays, WithoutDisplay,
                         testing::Values(test::ActivationDisplay::None,
                                         test::ActivationDisplay::Dead));

// A copy the user starts without a display says so once and can be read like any other.
TEST_F(ActivatedServer, UserStartedCopyWithoutDisplaySaysSoOnce) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    env.insert("DISPLAY", ":64999");
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus->Address());
    program.setProcessEnvironment(env);
    program.start(inst.executable, {});
    ASSERT_TRUE(test::WaitUntil([&] { return !Gone(); }, kCallTimeoutMs));
    const QString object = CreateScAuto();
    EXPECT_EQ(Call("Vesmera.ScAuto", object, "Vesmera.IScAuto", "GetStatus",
                   {QVariant::fromValue(short(0)), QVariant::fromValue(short(0))})
                  .type(),
              QDBusMessage::ReplyMessage);
    Call("Vesmera.ScAuto", object, "Vesmera.Object", "Release");
    EXPECT_EQ(program.state(), QProcess::Running); // the user's copy runs on
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(kCallTimeoutMs));
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(errors.count("running without windows"), 1) << errors.toStdString();
}

TEST_F(ActivatedServer, ALockKeepsItRunning) {
    const QString object = CreateScAuto();
    const QString owner = Owner("Vesmera.ScAuto");
    EXPECT_EQ(
        Call("Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "LockServer", {true})
            .type(),
        QDBusMessage::ReplyMessage);
    Call("Vesmera.ScAuto", object, "Vesmera.Object", "Release");
    // Still there and still answering on its own thread after the object is gone.
    const QDBusMessage probe =
        Call("Vesmera.ScAuto", "/Vesmera", "org.freedesktop.DBus.Introspectable", "Introspect");
    EXPECT_EQ(probe.type(), QDBusMessage::ReplyMessage) << probe.errorMessage().toStdString();
    EXPECT_EQ(Owner("Vesmera.ScAuto"), owner);

    // A second copy started for a client finds the names taken and ends at once, before its
    // apply step reads the settings (or could open a serial port).
    FilesOpened opened(inst.folder);
    EXPECT_EQ(inst.Start({"/AUTOMATION"}, inst.dataHome, bus->Address()).exitCode, 0);
    EXPECT_EQ(inst.Start({"-Embedding"}, inst.dataHome, bus->Address()).exitCode, 0);
    const QStringList names = opened.Names();
    EXPECT_FALSE(names.contains("Vesmera.ini")) << names.join(' ').toStdString();
    EXPECT_EQ(Owner("Vesmera.ScAuto"), owner);

    Call("Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "LockServer", {false});
    ASSERT_TRUE(test::WaitUntil([&] { return Gone(); }, kCallTimeoutMs));
}

} // namespace
} // namespace vesmera
