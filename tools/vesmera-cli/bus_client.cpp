#include "bus_client.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include "common/weight_codes.h"

namespace vesmera_cli {

namespace {

constexpr int kCallTimeoutMs = 10000;
constexpr int kReadingLookMs = 50;

} // namespace

BusClient::BusClient() : bus_(QDBusConnection::sessionBus()) {
    if (!bus_.isConnected())
        throw CliError(kExitNoServer,
                       QStringLiteral("no session bus (%1); Vesmera serves clients on the "
                                      "session bus of the desktop it runs on")
                           .arg(bus_.lastError().message()));
}

bool BusClient::ServerRunning() {
    QDBusConnectionInterface* bus = bus_.interface();
    return bus && bus->isServiceRegistered(kScAutoName).value();
}

void BusClient::RequireServer() {
    if (ServerRunning())
        return;
    // Registered with /REGSERVER, the bus starts the program at the first call.
    const QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "ListActivatableNames");
    const QDBusReply<QStringList> names = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    if (names.isValid() && names.value().contains(kScAutoName))
        return;
    throw CliError(kExitNoServer, QStringLiteral("Vesmera is not running: nothing serves %1 on "
                                                 "the session bus (start vesmera, or register it "
                                                 "with vesmera /REGSERVERPERUSER)")
                                      .arg(kScAutoName));
}

QVariantList BusClient::Call(const QString& path, const QString& iface, const QString& method,
                             const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(kScAutoName, path, iface, method);
    call.setArguments(args);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const ExitCode code =
            reply.errorName() == "org.freedesktop.DBus.Error.ServiceUnknown" ||
                    reply.errorName() == "org.freedesktop.DBus.Error.NameHasNoOwner"
                ? kExitNoServer
                : kExitCallFailed;
        throw CliError(code, QStringLiteral("%1 failed: %2 (%3)")
                                 .arg(method, reply.errorMessage(), reply.errorName()));
    }
    return reply.arguments();
}

bool BusClient::HasReading() {
    QVariantList reading;
    try {
        reading = Call(kReadingPath, kReadingInterface, "Get");
    } catch (const CliError&) {
        return true; // nothing to tell by: the values speak for themselves
    }
    return IsReading(reading);
}

bool IsReading(const QVariantList& reading) {
    // Weight 0 and status 0 are where a program starts, not what a scale read.
    return reading.value(4).toULongLong() > 0 &&
           (reading.value(5).toBool() || reading.value(1).toInt() != 0);
}

bool BusClient::WaitForReading(int ms) {
    QDeadlineTimer deadline(ms);
    while (!HasReading()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop pause;
        QTimer::singleShot(kReadingLookMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
    return true;
}

QString BusClient::CreateScAuto() {
    const QVariantList out = Call(kScAutoFactory, "Vesmera.ClassFactory", "CreateInstance");
    if (out.isEmpty())
        throw CliError(kExitCallFailed, "CreateInstance gave no object");
    return out.first().value<QDBusObjectPath>().path();
}

void BusClient::Release(const QString& object) {
    Call(object, "Vesmera.Object", "Release");
}

QString VariantText(const QVariant& value) {
    QVariant inner = value;
    if (inner.canConvert<QDBusVariant>())
        inner = inner.value<QDBusVariant>().variant();
    switch (inner.metaType().id()) {
    case QMetaType::Double:
        return QString::number(inner.toDouble(), 'g', 15);
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UChar:
        return QString::number(inner.toLongLong());
    case QMetaType::QString:
        return inner.toString();
    default:
        return QString(); // VT_EMPTY: an empty array
    }
}

QString StatusWord(qint64 status) {
    if (status == vesmera::kStatusStable)
        return QStringLiteral("stable");
    if (status == vesmera::kStatusUnstable)
        return QStringLiteral("unstable");
    return QString();
}

} // namespace vesmera_cli
