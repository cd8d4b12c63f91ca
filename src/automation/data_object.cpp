#include "automation/data_object.h"

#include "automation/server_calls.h"

namespace vesmera {

void TData::GetWeight(const std::string& name, ServerAnswer answer) const {
    AskServerFor(context_, name, ExchangeUser::DataGetWeight, std::move(answer));
}

void TData::GetStatus(const std::string& name, ServerAnswer answer) const {
    AskServerFor(context_, name, ExchangeUser::DataGetStatus, std::move(answer));
}

void TData::SetNull(const std::string& name, std::function<void()> done) const {
    ZeroServerFor(context_, name, ExchangeUser::DataSetNull, std::move(done));
}

} // namespace vesmera
