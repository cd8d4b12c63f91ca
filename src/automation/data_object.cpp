#include "automation/data_object.h"

#include "automation/server_calls.h"

namespace vesmera {

std::string TData::GetWeight(const std::string& name) const {
    return AskServerFor(context_, name, ServerMember::DataGetWeight);
}

std::string TData::GetStatus(const std::string& name) const {
    return AskServerFor(context_, name, ServerMember::DataGetStatus);
}

void TData::SetNull(const std::string& name) const {
    ZeroServerFor(context_, name, ServerMember::DataSetNull);
}

} // namespace vesmera
