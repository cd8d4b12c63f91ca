#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "automation/auto_value.h"
#include "automation/automation_context.h"
#include "automation/server_calls.h"

namespace vesmera {

// IScAuto: the program's own reading and zero command for a client, three questions to the
// weight server by terminal name, and fixed answers for the members of richer terminals.
// Scale, channel and other selector arguments are accepted and ignored: the program serves
// exactly one terminal.
class TScAuto {
public:
    explicit TScAuto(const AutomationContext& context) : context_(context) {}

    AutoValue GetWeight(std::int16_t sc_n, std::int16_t cn_n) const;
    // Answers (with nothing) once the zero command has run, which may be after this returns.
    void SetNull(std::int16_t sc_n, std::int16_t cn_n,
                 std::function<void(const AutoValue&)> answer) const;
    AutoValue GetCount(std::int16_t sc_n, std::int16_t cn_n, std::int16_t cnt_n) const;
    AutoValue GetStatus(std::int16_t sc_n, std::int16_t cn_n) const;
    AutoValue SetTerminal(std::int16_t term_n, std::int16_t cn_n) const;
    AutoValue GetOsCount(std::int8_t sc_n, std::int8_t cn_n) const;
    AutoValue GetOsWeight(std::int8_t sc_n, std::int8_t cn_n, std::int8_t os_number) const;
    AutoValue SetOutLevels(std::int8_t sc_n, std::int8_t cn_n, std::int8_t outval) const;
    AutoValue GetInLevels(std::int8_t sc_n, std::int8_t cn_n) const;
    void GetChannels(AutoValue& ccn, AutoValue& ct1, AutoValue& ct2) const;
    AutoValue GetTerminalAddress(std::int8_t cn_n, std::int8_t trm_n) const;
    std::int8_t ChannelsCount() const { return 1; }
    std::int8_t DevicesOnFirstChannel() const { return 1; }
    std::int8_t DevicesOnSecondChannel() const { return 0; }
    AutoValue GetCompPrms(std::int8_t sc_n, std::int8_t cn_n, std::int8_t comp_n) const;
    AutoValue SetCompPrms(std::int8_t sc_n, std::int8_t cn_n, std::int8_t comp_n, std::int64_t Doze,
                          std::int64_t Grubo, std::int64_t Tochno) const;
    AutoValue DozatorAction(std::int8_t sc_n, std::int8_t cn_n, std::int8_t action) const;
    AutoValue GetSensors() const;
    AutoValue SetSignal(std::int32_t Num) const;
    AutoValue GetLastError(std::int8_t sc_n, std::int8_t cn_n) const;
    AutoValue SaveRecipe(std::int8_t sc_n, std::int8_t cn_n) const;
    AutoValue SendMessage(std::int8_t sc_n, std::int8_t cn_n, const std::string& msg) const;
    AutoValue SetIndMode(std::int8_t sc_n, std::int8_t cn_n) const;
    // Assigns nothing; the bus layer answers a plain 0 since a reply must carry its value.
    void DynamicStatus() const {}
    AutoValue GetStatusEx(std::int8_t sc_n, std::int8_t cn_n) const;
    AutoValue GetCountInt(std::int8_t sc_n, std::int8_t cn_n, std::int8_t cnt_n) const;
    AutoValue GetWeightNetto(std::int16_t sc_n, std::int16_t cn_n) const;
    // The server members answer through their callbacks when their exchange ends (at once
    // when nothing is asked); the text answer is the VT_BSTR result.
    void SetNullNet(const std::string& Name, std::function<void()> done) const;
    void GetWeightNet(const std::string& Name, ServerAnswer answer) const;
    void GetStatusNet(const std::string& Name, ServerAnswer answer) const;

private:
    const AutomationContext& context_;
};

} // namespace vesmera
