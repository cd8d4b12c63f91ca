#pragma once

#include <QVariantList>
#include <string>

#include "automation/auto_value.h"
#include "automation/automation_context.h"
#include "automation/type_library.h"

namespace vesmera {

// A variant result on the bus: VT_EMPTY as a variant holding an empty "av", VT_I4 "i",
// VT_R8 "d", VT_BSTR "s".
QVariant ToBusVariant(const AutoValue& value);

// Calls one member of the class's interface with arguments already checked against its bus
// signature, and gives its out arguments in declaration order. Faults of the member pass
// through as exceptions.
QVariantList InvokeMember(const ClassInfo& cls, const std::string& member,
                          const AutomationContext& context, const QVariantList& args);

bool HasMemberHandler(const ClassInfo& cls, const std::string& member);

} // namespace vesmera
