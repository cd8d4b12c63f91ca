// vesmera-cli: a small client of the running program's automation server.
//
//   vesmera-cli get            what the window shows, once, from its live reading (with the
//                              terminal's name in network mode; "no reading yet" before one)
//   vesmera-cli watch          one line per change of what the display shows, until interrupted
//   vesmera-cli zero           zeroes the scale through the program (SetNull)
//   vesmera-cli local get      the local-mode automation value (GetWeight, GetStatus)
//   vesmera-cli net get NAME   asks the weight server for terminal NAME through the program
//
// Exit codes: 0 done, 1 usage, 2 no bus or no program, 3 a call failed.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>
#include <QObject>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "bus_client.h"
#include "common/weight_codes.h"

using namespace vesmera_cli;

namespace {

constexpr const char* kUsage =
    "usage: vesmera-cli get | watch | zero | local get | net get NAME\n"
    "  get           what the window shows, or \"no reading yet\"\n"
    "  watch         one line per change of the display, until Ctrl+C\n"
    "  zero          zeroes the scale through the program\n"
    "  local get     the local-mode automation value (GetWeight and GetStatus)\n"
    "  net get NAME  the weight server's weight and status for NAME\n";

constexpr int kFirstPollWaitMs = 1000;

QTextStream& Out() {
    static QTextStream out(stdout);
    return out;
}

QString WithWord(const QString& status) {
    bool ok = false;
    const qint64 code = status.toLongLong(&ok);
    const QString word = ok ? StatusWord(code) : QString();
    return word.isEmpty() ? status : status + " (" + word + ")";
}

// A reading's Get() as the window shows it: the weight and status, and the shown text when it is
// not a fresh weight (a message in its place, or polls that stopped succeeding).
QString ShownLine(const QVariantList& reading, const QString& terminal) {
    const QString prefix = terminal.isEmpty() ? QString() : terminal + ": ";
    if (reading.size() < 6)
        return prefix + QStringLiteral("(malformed reading)");
    if (!IsReading(reading))
        return prefix + QStringLiteral("no reading yet");
    QString line = prefix + QStringLiteral("weight %1  status %2")
                                .arg(QString::number(reading[0].toDouble(), 'g', 15))
                                .arg(WithWord(QString::number(reading[1].toLongLong())));
    if (!reading[5].toBool())
        line += "  \"" + reading[2].toString() + "\" (not fresh)";
    return line;
}

// Runs fn on an object of this client's own; the object is released even when fn fails.
template <typename Fn> void WithScAuto(BusClient& client, Fn fn) {
    client.RequireServer();
    const QString object = client.CreateScAuto();
    try {
        fn(object);
    } catch (const CliError&) {
        client.Release(object);
        throw;
    }
    client.Release(object);
}

QString Member(BusClient& client, const QString& object, const QString& method,
               const QVariantList& args) {
    const QVariantList out = client.Call(object, kScAutoInterface, method, args);
    return out.isEmpty() ? QString() : VariantText(out.first());
}

// What the window shows, from the live reading it publishes: the mode's own value in either
// mode, where the automation's GetWeight holds the local mode's alone.
int Get(BusClient& client) {
    // A program this call starts has not polled yet; its first poll comes within a second.
    const bool startsNow = !client.ServerRunning();
    client.RequireServer();
    if (startsNow)
        client.WaitForReading(kFirstPollWaitMs);
    const QVariantList reading = client.Call(kReadingPath, kReadingInterface, "Get");
    const QVariantList terminal = client.Call(kReadingPath, kReadingInterface, "Terminal");
    Out() << ShownLine(reading, terminal.value(0).toString()) << Qt::endl;
    return kExitOk;
}

// The local mode's automation value, as an automation client reads it: 0 and 0 in network
// mode and before a first poll.
int LocalGet(BusClient& client) {
    const QVariantList local{QVariant::fromValue<short>(0), QVariant::fromValue<short>(0)};
    WithScAuto(client, [&](const QString& object) {
        const QString weight = Member(client, object, "GetWeight", local);
        const QString status = Member(client, object, "GetStatus", local);
        Out() << "weight " << weight << "  status " << WithWord(status) << Qt::endl;
    });
    return kExitOk;
}

int Zero(BusClient& client) {
    const QVariantList local{QVariant::fromValue<short>(0), QVariant::fromValue<short>(0)};
    WithScAuto(client, [&](const QString& object) { Member(client, object, "SetNull", local); });
    Out() << "zero request sent" << Qt::endl;
    return kExitOk;
}

int NetGet(BusClient& client, const QString& name) {
    WithScAuto(client, [&](const QString& object) {
        const QString weight = Member(client, object, "GetWeightNet", {name});
        const QString status = Member(client, object, "GetStatusNet", {name});
        Out() << name << ": weight " << weight << "  status " << WithWord(status) << Qt::endl;
        if (weight == QString::number(vesmera::kNoServerAnswer))
            Out() << "(" << vesmera::kNoServerAnswer
                  << ": network mode is off, or the weight server did not answer)" << Qt::endl;
    });
    return kExitOk;
}

QString ChangeLine(const QVariantList& args) {
    if (args.size() < 5)
        return QStringLiteral("(malformed Changed signal)");
    const QString time = QDateTime::fromMSecsSinceEpoch(args[3].toLongLong())
                             .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    const qint64 status = args[1].toLongLong();
    QString line = QStringLiteral("%1  #%2  weight %3  status %4")
                       .arg(time)
                       .arg(args[4].toULongLong())
                       .arg(QString::number(args[0].toDouble(), 'g', 15))
                       .arg(WithWord(QString::number(status)));
    return line + "  \"" + args[2].toString() + "\"";
}

// Receives the program's Changed signals and prints each.
class Watcher : public QObject {
    Q_OBJECT
public slots:
    void Changed(const QDBusMessage& message) {
        Out() << ChangeLine(message.arguments()) << Qt::endl;
    }
    void ServerGone(const QString& name, const QString& oldOwner, const QString& newOwner) {
        Q_UNUSED(oldOwner);
        if (name == kScAutoName && newOwner.isEmpty()) {
            QTextStream(stderr)
                << "vesmera-cli: the program has stopped (a copy the bus started ends when no "
                   "client holds an object of it, and following the weight does not hold one: "
                   "start vesmera itself to follow it)"
                << Qt::endl;
            QCoreApplication::exit(kExitNoServer);
        }
    }
};

int quitPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
}

int Watch(BusClient& client) {
    if (!client.ServerRunning())
        throw CliError(kExitNoServer, QStringLiteral("Vesmera is not running: nothing serves %1 "
                                                     "on the session bus")
                                          .arg(kScAutoName));
    Watcher watcher;
    QDBusConnection& bus = client.Connection();
    if (!bus.connect(kScAutoName, kReadingPath, kReadingInterface, "Changed", &watcher,
                     SLOT(Changed(QDBusMessage))))
        throw CliError(kExitCallFailed,
                       "cannot follow " + QString(kReadingPath) + ": " + bus.lastError().message());
    bus.connect("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameOwnerChanged", &watcher, SLOT(ServerGone(QString, QString, QString)));

    // What is shown now, then every change.
    const QVariantList now = client.Call(kReadingPath, kReadingInterface, "Get");
    Out() << ChangeLine(now) << (now.value(5).toBool() ? "" : "  (not fresh)") << Qt::endl;

    if (::pipe(quitPipe) != 0)
        throw CliError(kExitCallFailed, "cannot set up the interrupt handler");
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    QSocketNotifier quit(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(&quit, &QSocketNotifier::activated, [] { QCoreApplication::exit(kExitOk); });
    return QCoreApplication::exec();
}

int Run(const QStringList& args) {
    const QString command = args.value(1);
    if (command == "get" && args.size() == 2) {
        BusClient client;
        return Get(client);
    }
    if (command == "watch" && args.size() == 2) {
        BusClient client;
        return Watch(client);
    }
    if (command == "zero" && args.size() == 2) {
        BusClient client;
        return Zero(client);
    }
    if (command == "local" && args.size() == 3 && args[2] == "get") {
        BusClient client;
        return LocalGet(client);
    }
    if (command == "net" && args.size() == 4 && args[2] == "get") {
        BusClient client;
        return NetGet(client, args[3]);
    }
    if (command == "-h" || command == "--help" || command == "help") {
        Out() << kUsage;
        return kExitOk;
    }
    QTextStream(stderr) << kUsage;
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        return Run(QCoreApplication::arguments());
    } catch (const CliError& e) {
        QTextStream(stderr) << "vesmera-cli: " << QString::fromStdString(e.what()) << Qt::endl;
        return e.Code();
    }
}

#include "main.moc"
