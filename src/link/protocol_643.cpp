#include "link/protocol_643.h"

#include <array>
#include <charconv>

#include "common/number_text.h"

namespace vesmera {

namespace {

// The weight texts are built with a comma whatever the user's separator is, so a terminal
// reads the same on every machine.
constexpr char kWeightTextSeparator = ',';

// Writes the address text, waits, and drops the terminal's answer to it.
void SelectTerminal(SerialScript& script, const HeldSettings& settings) {
    script.push_back(SerialStep::Write(AddressText643(settings.channel)));
    script.push_back(SerialStep::Wait(settings.delayMs));
    script.push_back(SerialStep::Drop(k643SelectReadCount));
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
    for (char c : reply.substr(1, 7))
        if (c == '.')
            weightText += kWeightTextSeparator;
        else if (c != ' ')
            weightText += c;
    const auto weight = ParseFloat(weightText, kWeightTextSeparator);
    if (!weight)
        return std::nullopt;
    TerminalReading reading;
    reading.weight = UnsignedZero(*weight);
    reading.stable = (static_cast<unsigned char>(reply[8]) & 1) == 0;
    return reading;
}

SerialScript PollScript643(const HeldSettings& settings) {
    SerialScript script;
    SelectTerminal(script, settings);
    script.push_back(SerialStep::Write(std::string(1, kDle)));
    script.push_back(SerialStep::Wait(settings.delayMs));
    script.push_back(SerialStep::Read(k643ReplyReadCount));
    return script;
}

SerialScript ZeroScript643(const HeldSettings& settings) {
    SerialScript script{SerialStep::Wait(settings.delayMs)};
    SelectTerminal(script, settings);
    script.push_back(SerialStep::Write(std::string(1, kCr)));
    return script;
}

} // namespace vesmera
