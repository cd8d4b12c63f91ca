#include "terminal-sim/sim_terminal.h"

#include <algorithm>
#include <charconv>

#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"

namespace vesmera {

namespace {

constexpr std::int64_t kMaxScaled = 999999; // six digits
constexpr char kAck = 0x06;

std::int64_t Pow10(int n) {
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

std::int64_t Rescaled(const SimWeight& w, int decimals) {
    return w.scaled * Pow10(decimals - w.decimals);
}

bool IsAddressChar(char c) {
    return (c >= '0' && c <= '9') || c == '-';
}

} // namespace

std::string SpacedHex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<SimWeight> ParseSimWeight(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const auto point = text.find_first_of(".,");
    std::string digits(text.substr(0, point));
    std::string fraction =
        point == std::string_view::npos ? "" : std::string(text.substr(point + 1));
    if (fraction.size() > static_cast<std::size_t>(kSimMaxDecimals))
        return std::nullopt;
    digits += fraction;
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    // Leading zeros may be many; the value itself must fit six digits.
    const auto first = digits.find_first_not_of('0');
    if (first != std::string::npos &&
        digits.size() - first > static_cast<std::size_t>(kSimMaxDigits))
        return std::nullopt;
    SimWeight w;
    std::from_chars(digits.data() + (first == std::string::npos ? digits.size() - 1 : first),
                    digits.data() + digits.size(), w.scaled);
    w.decimals = static_cast<int>(fraction.size());
    if (negative)
        w.scaled = -w.scaled;
    return w;
}

std::string FormatSimWeight(const SimWeight& weight) {
    const std::int64_t magnitude = weight.scaled < 0 ? -weight.scaled : weight.scaled;
    std::string digits = std::to_string(magnitude);
    if (digits.size() <= static_cast<std::size_t>(weight.decimals))
        digits.insert(0, static_cast<std::size_t>(weight.decimals) + 1 - digits.size(), '0');
    if (weight.decimals > 0)
        digits.insert(digits.size() - static_cast<std::size_t>(weight.decimals), 1, '.');
    return weight.scaled < 0 ? "-" + digits : digits;
}

std::optional<SimProtocol> ParseSimProtocol(std::string_view text) {
    if (text == "vorlen" || text == kProtocolVorlen)
        return SimProtocol::Vorlen;
    if (text == "643" || text == kProtocol643)
        return SimProtocol::P643;
    return std::nullopt;
}

SimTerminal::SimTerminal(SimProtocol protocol, std::int32_t address, std::uint32_t seed)
    : protocol_(protocol), address_(address), random_(seed) {}

void SimTerminal::SetProtocol(SimProtocol protocol) {
    protocol_ = protocol;
    buffer_.clear();
}

void SimTerminal::SetDrift(const SimWeight& step, const SimWeight& limit) {
    driftStep_ = step;
    driftLimit_ = limit;
}

std::string SimTerminal::Noise(std::size_t count) {
    std::string bytes(count, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(random_());
    return bytes;
}

std::string SimTerminal::Receive(std::string_view bytes) {
    if (silent_) {
        buffer_.clear();
        return {};
    }
    buffer_ += bytes;
    return protocol_ == SimProtocol::Vorlen ? ReceiveVorlen() : Receive643();
}

bool SimTerminal::Idle() const {
    if (buffer_.empty())
        return true;
    // "6.43": a selected address waits for its command byte, which follows after the delay.
    return protocol_ == SimProtocol::P643 && buffer_.size() > 2 && buffer_[0] == kStx &&
           buffer_[1] == kSoh && std::all_of(buffer_.begin() + 2, buffer_.end(), IsAddressChar);
}

std::string SimTerminal::ReceiveVorlen() {
    std::string answer;
    for (;;) {
        const auto start = buffer_.find(static_cast<char>(kVorlenFrameMark));
        if (start == std::string::npos) {
            buffer_.clear(); // the supervision probe "1" and other noise
            break;
        }
        buffer_.erase(0, start);
        if (buffer_.size() < 6)
            break;
        const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(buffer_[i]); };
        if (byte(4) != kVorlenFrameMark || byte(5) != kVorlenFrameMark ||
            byte(3) != VorlenCrc8(byte(1), byte(2))) {
            buffer_.erase(0, 1);
            continue;
        }
        const std::uint8_t address = byte(1);
        const std::uint8_t command = byte(2);
        buffer_.erase(0, 6);
        if (address != static_cast<std::uint8_t>(address_ & 0xFF))
            continue;
        if (command == kVorlenWeightCommand)
            answer += WeightReply();
        else if (command == kVorlenZeroCommand)
            answer += Zero();
    }
    return answer;
}

std::string SimTerminal::Receive643() {
    std::string answer;
    for (;;) {
        const auto start = buffer_.find(std::string{kStx, kSoh});
        if (start == std::string::npos) {
            // Keep a trailing STX: its SOH may still be on the way.
            buffer_.erase(0, !buffer_.empty() && buffer_.back() == kStx ? buffer_.size() - 1
                                                                        : buffer_.size());
            break;
        }
        buffer_.erase(0, start);
        std::size_t end = 2;
        while (end < buffer_.size() && IsAddressChar(buffer_[end]))
            ++end;
        if (end == buffer_.size())
            break; // selected, the command is still to come
        const char command = buffer_[end];
        const bool mine = buffer_.compare(0, end, AddressText643(address_)) == 0;
        // A new STX starts the next selection; any other byte ends this one.
        buffer_.erase(0, command == kStx ? end : end + 1);
        if (!mine)
            continue;
        if (command == kDle)
            answer += WeightReply();
        else if (command == kCr)
            answer += Zero();
    }
    return answer;
}

std::string SimTerminal::WeightReply() {
    ++weightRequests_;
    std::string answer;
    if (garbage_) {
        answer.resize(std::uniform_int_distribution<std::size_t>(1, 40)(random_));
        for (auto& c : answer)
            c = static_cast<char>(random_());
    } else {
        answer = protocol_ == SimProtocol::Vorlen ? VorlenWeightReply() : WeightReply643();
    }
    Note("weight " + FormatSimWeight(weight_), answer);
    Drift();
    return answer;
}

std::string SimTerminal::VorlenWeightReply() const {
    std::int64_t magnitude = weight_.scaled < 0 ? -weight_.scaled : weight_.scaled;
    std::uint8_t status = static_cast<std::uint8_t>(weight_.decimals);
    if (weight_.scaled < 0)
        status |= kVorlenNegativeBit;
    if (overload_) {
        // The overload flag shares its bit with the decimal-point digit: 8 means no point.
        magnitude = 0;
        status = kVorlenOverloadBit;
    }
    if (stable_)
        status |= kVorlenStableBit;
    std::string reply{static_cast<char>(kVorlenFrameMark), static_cast<char>(address_ & 0xFF),
                      static_cast<char>(kVorlenWeightCommand)};
    for (int pair = 0; pair < 3; ++pair) {
        const int low = static_cast<int>(magnitude % 10);
        const int high = static_cast<int>(magnitude / 10 % 10);
        magnitude /= 100;
        reply += static_cast<char>(high << 4 | low);
    }
    reply += static_cast<char>(status);
    reply += static_cast<char>(VorlenCrc8(std::string_view(reply).substr(1)));
    reply.append(2, static_cast<char>(kVorlenFrameMark));
    return reply;
}

std::string SimTerminal::WeightReply643() const {
    std::string field;
    if (overload_) {
        field = " OVERLD"; // no overload code in this protocol: a field that reads as no number
    } else {
        std::string number = FormatSimWeight(weight_);
        const bool negative = !number.empty() && number[0] == '-';
        if (negative)
            number.erase(0, 1);
        field = number.size() > 6
                    ? std::string(7, '-')
                    : (negative ? "-" : " ") + std::string(6 - number.size(), ' ') + number;
    }
    return std::string(1, kStx) + field + (stable_ ? '0' : '1') + kCr;
}

std::string SimTerminal::Zero() {
    ++zeroRequests_;
    weight_.scaled = 0;
    const std::string answer = protocol_ == SimProtocol::Vorlen
                                   ? VorlenFrame(address_, kVorlenZeroCommand)
                                   : std::string(1, kAck);
    Note("zero", answer);
    return answer;
}

void SimTerminal::Drift() {
    if (driftStep_.scaled == 0)
        return;
    const int decimals = std::max({weight_.decimals, driftStep_.decimals, driftLimit_.decimals});
    const std::int64_t w = Rescaled(weight_, decimals);
    std::int64_t step = Rescaled(driftStep_, decimals);
    const std::int64_t limit = std::min(Rescaled(driftLimit_, decimals), kMaxScaled);
    if ((step > 0 && w + step > limit) || (step < 0 && w + step < 0)) {
        step = -step;
        driftStep_.scaled = -driftStep_.scaled;
    }
    weight_.scaled = std::clamp(w + step, -kMaxScaled, kMaxScaled);
    weight_.decimals = decimals;
}

void SimTerminal::Note(const std::string& what, const std::string& answer) {
    if (onRequest)
        onRequest(what + " -> " + (answer.empty() ? "nothing" : SpacedHex(answer)));
}

std::string SimTerminal::Describe() const {
    const auto onOff = [](bool b) { return b ? "on" : "off"; };
    return std::string("protocol ") + (protocol_ == SimProtocol::Vorlen ? "vorlen" : "643") +
           " address " + std::to_string(address_) + " weight " + FormatSimWeight(weight_) +
           (stable_ ? " stable" : " unstable") + " overload " + onOff(overload_) + " silence " +
           onOff(silent_) + " garbage " + onOff(garbage_) + " drift " +
           FormatSimWeight(driftStep_) + " requests " + std::to_string(weightRequests_) +
           " zeros " + std::to_string(zeroRequests_);
}

} // namespace vesmera
