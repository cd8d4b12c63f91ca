#pragma once

#include <QVariantList>
#include <functional>
#include <string>

#include "automation/auto_value.h"
#include "automation/automation_context.h"
#include "automation/type_library.h"

namespace vesmera {

// A variant result on the bus: VT_EMPTY as a variant holding an empty "av", VT_I4 "i",
// VT_R8 "d", VT_BSTR "s".
QVariant ToBusVariant(const AutoValue& value);

// The out arguments of one call in declaration order, given when the member's work has ended.
// Members that answer from memory call it before they return; members that wait for an
// exchange (the serial line, the weight server) keep it and call it from the exchange's end,
// so the thread serves other calls meanwhile. Called exactly once.
using BusAnswer = std::function<void(const QVariantList& out)>;

// Calls one member of the class's interface with arguments already checked against its bus
// signature, and hands its out arguments to answer, at once or when its exchange ends. Faults
// raised before the member returns (an unknown member among them) pass through as
// exceptions, and answer is then not called.
void InvokeMember(const ClassInfo& cls, const std::string& member, const AutomationContext& context,
                  const QVariantList& args, BusAnswer answer);

} // namespace vesmera
