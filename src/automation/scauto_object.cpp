#include "automation/scauto_object.h"

#include "automation/server_calls.h"
#include "common/weight_codes.h"

namespace vesmera {

namespace {

AutoValue Nothing() {
    return AutoValue{};
}

} // namespace

AutoValue TScAuto::GetWeight(std::int16_t, std::int16_t) const {
    // The reading is kept in extended precision; clients get the nearest double.
    return static_cast<double>(context_.weight.weight);
}

void TScAuto::SetNull(std::int16_t, std::int16_t,
                      std::function<void(const AutoValue&)> answer) const {
    if (!context_.zeroCommand) {
        answer(Nothing());
        return;
    }
    context_.zeroCommand([answer = std::move(answer)] { answer(Nothing()); });
}

AutoValue TScAuto::GetCount(std::int16_t, std::int16_t, std::int16_t) const {
    return std::int32_t{1};
}

AutoValue TScAuto::GetStatus(std::int16_t, std::int16_t) const {
    return context_.weight.status;
}

AutoValue TScAuto::SetTerminal(std::int16_t, std::int16_t) const {
    return kNotSupported;
}

AutoValue TScAuto::GetOsCount(std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::GetOsWeight(std::int8_t, std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::SetOutLevels(std::int8_t, std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::GetInLevels(std::int8_t, std::int8_t) const {
    return Nothing();
}

void TScAuto::GetChannels(AutoValue& ccn, AutoValue& ct1, AutoValue& ct2) const {
    ccn = Nothing();
    ct1 = Nothing();
    ct2 = Nothing();
}

AutoValue TScAuto::GetTerminalAddress(std::int8_t, std::int8_t) const {
    return std::int32_t{1};
}

AutoValue TScAuto::GetCompPrms(std::int8_t, std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::SetCompPrms(std::int8_t, std::int8_t, std::int8_t, std::int64_t, std::int64_t,
                               std::int64_t) const {
    return Nothing();
}

AutoValue TScAuto::DozatorAction(std::int8_t, std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::GetSensors() const {
    return kNotSupported;
}

AutoValue TScAuto::SetSignal(std::int32_t) const {
    return kNotSupported;
}

AutoValue TScAuto::GetLastError(std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::SaveRecipe(std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::SendMessage(std::int8_t, std::int8_t, const std::string&) const {
    return Nothing();
}

AutoValue TScAuto::SetIndMode(std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::GetStatusEx(std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::GetCountInt(std::int8_t, std::int8_t, std::int8_t) const {
    return Nothing();
}

AutoValue TScAuto::GetWeightNetto(std::int16_t, std::int16_t) const {
    return Nothing();
}

void TScAuto::SetNullNet(const std::string& Name, std::function<void()> done) const {
    ZeroServerFor(context_, Name, ExchangeUser::ScAutoSetNullNet, std::move(done));
}

void TScAuto::GetWeightNet(const std::string& Name, ServerAnswer answer) const {
    // Unlike the other network members this one does not wait for the main connection.
    AskServerFor(context_, Name, ExchangeUser::ScAutoGetWeightNet, std::move(answer));
}

void TScAuto::GetStatusNet(const std::string& Name, ServerAnswer answer) const {
    AskServerFor(context_, Name, ExchangeUser::ScAutoGetStatusNet, std::move(answer));
}

} // namespace vesmera
