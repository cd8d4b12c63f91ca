#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace vesmera::test {

// What the programs a bus activates find for a display.
enum class ActivationDisplay {
    Offscreen, // Qt's windowless platform chosen for them
    None,      // no platform chosen and no display set, as on a bus started before the desktop
    Dead,      // an X display that cannot be reached
};

// A dbus-daemon of the test's own: its own configuration, a listening socket in a temporary
// folder and, optionally, a folder of activation files. Programs it activates inherit its
// environment, so they draw no windows and reach no other bus.
class PrivateBus {
public:
    explicit PrivateBus(const QString& servicesDir = QString(),
                        ActivationDisplay display = ActivationDisplay::Offscreen) {
        QString services;
        if (!servicesDir.isEmpty())
            services = QStringLiteral("  <servicedir>%1</servicedir>\n").arg(servicesDir);
        const QString config =
            QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                           "Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n"
                           "  <type>session</type>\n"
                           "  <listen>unix:dir=%1</listen>\n"
                           "%2"
                           "  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n")
                .arg(dir_.path(), services);
        const QString configPath = dir_.filePath("bus.conf");
        QFile file(configPath);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(config.toUtf8());
        file.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (display == ActivationDisplay::Offscreen)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        if (display == ActivationDisplay::Dead)
            env.insert("DISPLAY", ":64999");
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        daemon_.setProcessEnvironment(env);
        daemon_.setProcessChannelMode(QProcess::SeparateChannels);
        daemon_.start("dbus-daemon",
                      {"--config-file=" + configPath, "--nofork", "--print-address"});
        if (!daemon_.waitForStarted(10000))
            return;
        QByteArray line;
        while (!line.contains('\n') && daemon_.waitForReadyRead(10000))
            line += daemon_.readAllStandardOutput();
        address_ = QString::fromUtf8(line).trimmed();
    }

    ~PrivateBus() {
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            if (!daemon_.waitForFinished(5000))
                daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return address_; }
    bool Running() const { return !address_.isEmpty(); }

    // A new connection of its own under a name unique in this process.
    QDBusConnection Connect(const QString& role) {
        static int serial = 0;
        const QString name = QStringLiteral("vesmera-test-%1-%2").arg(role).arg(++serial);
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

    QString DataDirFor(const QString& sub) const { return dir_.filePath(sub); }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    std::vector<QString> names_;
};

// Runs the event loop until the condition holds or the guard time is over; events, not
// sleeps, move the test on.
inline bool WaitUntil(const std::function<bool()>& condition, int guardMs = 10000) {
    if (condition())
        return true;
    QDeadlineTimer deadline(guardMs);
    QEventLoop loop;
    QTimer look; // a wake-up for conditions that no event of this process announces
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (condition() || deadline.hasExpired())
            loop.quit();
    });
    look.start();
    loop.exec();
    return condition();
}

} // namespace vesmera::test
