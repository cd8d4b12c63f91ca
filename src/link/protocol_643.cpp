#include "link/protocol_643.h"

#include <array>
#include <charconv>

#include "common/exception.h"
#include "common/number_text.h"

namespace vesmera {

namespace {

// The weight texts are built with a comma whatever the user's separator is, so a terminal
// reads the same on every machine.
constexpr char kWeightTextSeparator = ',';

// Writes the address text, waits, and drops the terminal's answer to it.
void SelectTerminal(ISerialChannel& channel, ISleeper& sleeper, const HeldSettings& settings) {
    channel.WriteStr(AddressText643(settings.channel));
    sleeper.Sleep(settings.delayMs);
    std::string dropped;
    channel.ReadStr(dropped, k643SelectReadCount);
}

} // namespace

std::string AddressText643(std::int32_t address) {
    std::array<char, 16> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), address).ptr;
    std::string text{kStx, kSoh};
    text += address < 10 ? "000" : "00";
    text.append(digits.data(), end);
    return text;
}

std::optional<TerminalReading> DecodeReply643(std::string_view reply) {
    if (reply.size() < k643MinimumReply)
        return std::nullopt;
    std::string weightText;
    for (char c : reply.substr(1, 7)) {
        if (c == '.')
            weightText += kWeightTextSeparator;
        else if (c != ' ')
            weightText += c;
    }
    const auto weight = ParseFloat(weightText, kWeightTextSeparator);
    if (!weight)
        return std::nullopt;
    TerminalReading reading;
    reading.weight = *weight;
    reading.stable = (static_cast<unsigned char>(reply[8]) & 1) == 0;
    return reading;
}

std::string WeightExchange643(ISerialChannel& channel, ISleeper& sleeper,
                              const HeldSettings& settings) {
    SelectTerminal(channel, sleeper, settings);
    channel.WriteStr(std::string(1, kDle));
    sleeper.Sleep(settings.delayMs);
    std::string reply;
    channel.ReadStr(reply, k643ReplyReadCount);
    return reply;
}

void ZeroExchange643(ISerialChannel& channel, ISleeper& sleeper, const HeldSettings& settings,
                     ITimerSwitch& timer5) {
    const bool wasPolling = timer5.IsEnabled();
    timer5.SetEnabled(false);
    sleeper.Sleep(settings.delayMs);
    try {
        SelectTerminal(channel, sleeper, settings);
        channel.WriteStr(std::string(1, kCr));
    } catch (const Exception&) {
        // A zero request has no result to report: a closed port or a lost line only means
        // the scale is not zeroed.
    }
    // Restored rather than switched on: in network mode, or after the supervision tick has
    // stopped the polls, a running Timer5 would poll a closed port.
    timer5.SetEnabled(wasPolling);
}

} // namespace vesmera
