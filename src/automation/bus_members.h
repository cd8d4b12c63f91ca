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

// The out arguments of a member in declaration order, handed over once the member has them.
using MemberReply = std::function<void(const QVariantList&)>;

// Calls one member of the class's interface with arguments already checked against its bus
// signature. Members that read the program's state reply before this returns; members that
// ask the weight server reply when their exchange ends, from the event loop, and other calls
// are served meanwhile. Faults of the member pass through as exceptions, before any reply.
void InvokeMember(const ClassInfo& cls, const std::string& member, const AutomationContext& context,
                  const QVariantList& args, MemberReply reply);

// The out arguments of one call, given when the member's work has ended. Members that answer
// from memory call it before they return; members that wait for an exchange (the serial line,
// the weight server) keep it and call it from the exchange's end, so the thread serves other
// calls meanwhile. Called exactly once.
using BusAnswer = std::function<void(const QVariantList& out)>;

// Calls one member like InvokeMember, and hands its out arguments to answer, at once or when
// its exchange ends. Faults raised before the member returns pass through as exceptions, and
// answer is then not called.
void InvokeMemberLater(const ClassInfo& cls, const std::string& member,
                       const AutomationContext& context, const QVariantList& args,
                       BusAnswer answer);

} // namespace vesmera
