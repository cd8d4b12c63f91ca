#pragma once

#include <QDBusMessage>
#include <QVariantList>

#include "automation/bus_interface.h"
#include "common/live_reading.h"

namespace vesmera {

// The live reading on the bus: one object beside the class objects, owned by the running
// program under the bus name Vesmera.ScAuto, for clients that follow the weight instead of
// asking for it in a loop.
inline constexpr const char* kReadingPath = "/Vesmera/Reading";
inline constexpr const char* kReadingNode = "Reading";
inline constexpr const char* kReadingInterface = "Vesmera.Reading";
inline constexpr const char* kReadingChanged = "Changed";

const BusInterface& ReadingBusInterface();

// Changed(d weight, i status, s text, x time_ms, t sequence).
QVariantList ChangedArguments(const ReadingChange& change);
QDBusMessage ChangedSignal(const ReadingChange& change);

// The reply to a call of one of the reading object's methods, its arguments checked.
QDBusMessage AnswerReadingCall(LiveReading& reading, const BusMethod& method,
                               const QDBusMessage& call);

} // namespace vesmera
