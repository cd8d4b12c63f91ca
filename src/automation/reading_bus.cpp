#include "automation/reading_bus.h"

namespace vesmera {

namespace {

std::vector<BusArg> ChangeArgs(bool out) {
    return {{"weight", "d", out},
            {"status", "i", out},
            {"text", "s", out},
            {"time_ms", "x", out},
            {"sequence", "t", out}};
}

BusInterface MakeReadingInterface() {
    BusInterface iface{kReadingInterface, {}, {}};
    std::vector<BusArg> get = ChangeArgs(true);
    get.push_back({"fresh", "b", true});
    iface.methods.push_back({"Get", {}, get});
    iface.methods.push_back({"Terminal", {}, {{"name", "s", true}}});
    iface.busSignals.push_back({kReadingChanged, ChangeArgs(false)});
    return iface;
}

} // namespace

const BusInterface& ReadingBusInterface() {
    static const BusInterface iface = MakeReadingInterface();
    return iface;
}

QVariantList ChangedArguments(const ReadingChange& change) {
    return {change.weight, change.status, QString::fromStdString(change.text),
            static_cast<qlonglong>(change.timeMs), static_cast<qulonglong>(change.sequence)};
}

QDBusMessage ChangedSignal(const ReadingChange& change) {
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kReadingPath),
                                                     QString::fromLatin1(kReadingInterface),
                                                     QString::fromLatin1(kReadingChanged));
    signal.setArguments(ChangedArguments(change));
    return signal;
}

QDBusMessage AnswerReadingCall(LiveReading& reading, const BusMethod& method,
                               const QDBusMessage& call) {
    if (method.name == "Terminal")
        return call.createReply(QString::fromStdString(reading.Terminal()));
    QVariantList values = ChangedArguments(reading.Last());
    values.append(reading.Fresh());
    return call.createReply(values);
}

} // namespace vesmera
