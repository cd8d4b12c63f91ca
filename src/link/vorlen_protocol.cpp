#include "link/vorlen_protocol.h"

#include <array>

namespace vesmera {

namespace {

constexpr std::uint8_t kPolynomial = 0x69;

// The register is fed bit by bit and then flushed with one zero byte, which gives the same
// value as the usual table-free CRC-8 over the bytes alone.
void FeedByte(std::uint8_t& crc, std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
        const bool top = (crc & 0x80) != 0;
        crc = static_cast<std::uint8_t>((crc << 1) | ((byte >> bit) & 1));
        if (top)
            crc ^= kPolynomial;
    }
}

constexpr std::array<long double, 5> kPointDivisor = {1.0L, 10.0L, 100.0L, 1000.0L, 10000.0L};

} // namespace

std::uint8_t VorlenCrc8(std::string_view bytes) {
    std::uint8_t crc = 0;
    for (char c : bytes)
        FeedByte(crc, static_cast<std::uint8_t>(c));
    FeedByte(crc, 0);
    return crc;
}

std::uint8_t VorlenCrc8(std::uint8_t address, std::uint8_t command) {
    const char bytes[2] = {static_cast<char>(address), static_cast<char>(command)};
    return VorlenCrc8(std::string_view(bytes, 2));
}

std::string VorlenFrame(std::int32_t address, std::uint8_t command) {
    const auto a = static_cast<std::uint8_t>(address & 0xFF);
    std::string frame(6, static_cast<char>(kVorlenFrameMark));
    frame[1] = static_cast<char>(a);
    frame[2] = static_cast<char>(command);
    frame[3] = static_cast<char>(VorlenCrc8(a, command));
    return frame;
}

namespace {

// Where the weight reply's frame begins in what arrived, if anywhere. The reply's own CRC is
// not checked: which bytes it covers is not documented, and a wrong guess would fail every
// poll of a sound terminal. The frame's start alone keeps noise from reading as a weight.
std::optional<std::size_t> VorlenReplyStart(std::string_view reply, std::uint8_t address) {
    const auto head = [&](std::uint8_t command) {
        return std::string{static_cast<char>(kVorlenFrameMark), static_cast<char>(address),
                           static_cast<char>(command)};
    };
    const std::string weight = head(kVorlenWeightCommand);
    if (reply.starts_with(weight))
        return 0;
    if (!reply.starts_with(head(kVorlenZeroCommand)))
        return std::nullopt;
    const auto at = reply.find(weight, 3);
    if (at == std::string_view::npos)
        return std::nullopt;
    return at;
}

} // namespace

std::optional<TerminalReading> DecodeReplyVorlen(std::string_view whole, std::int32_t address) {
    const auto start = VorlenReplyStart(whole, static_cast<std::uint8_t>(address & 0xFF));
    if (!start)
        return std::nullopt;
    const std::string_view reply = whole.substr(*start);
    if (reply.size() < 7)
        return std::nullopt;
    const auto byte = [&](std::size_t n) { return static_cast<std::uint8_t>(reply[n - 1]); };
    const std::uint8_t status = byte(7);
    const int point = status & kVorlenPointMask;
    if (point > 9)
        return std::nullopt;

    TerminalReading reading;
    if (point <= 4) {
        // Bytes 6, 5, 4 hold the digits d6 d5, d4 d3, d2 d1. The quotient of two exact values
        // is the same long double that the decimal text with its comma converts to.
        long double digits = 0;
        for (std::size_t n : {6, 5, 4}) {
            const int high = byte(n) >> 4;
            const int low = byte(n) & 0x0F;
            if (high > 9 || low > 9)
                return std::nullopt;
            digits = digits * 100 + high * 10 + low;
        }
        reading.weight = digits / kPointDivisor[static_cast<std::size_t>(point)];
    }
    if ((status & kVorlenNegativeBit) != 0)
        reading.weight = UnsignedZero(-reading.weight);
    reading.stable = (status & kVorlenStableBit) != 0;
    reading.overload = (status & kVorlenOverloadBit) != 0;
    return reading;
}

SerialScript PollScriptVorlen(const HeldSettings& settings) {
    return {SerialStep::Write(VorlenFrame(settings.channel, kVorlenWeightCommand)),
            SerialStep::Wait(settings.delayMs), SerialStep::Read(kVorlenReplyReadCount)};
}

SerialScript ZeroScriptVorlen(const HeldSettings& settings) {
    return {SerialStep::Write(VorlenFrame(settings.channel, kVorlenZeroCommand))};
}

} // namespace vesmera
