#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace vesmera {

enum class SimProtocol { Vorlen, P643 };

// A terminal weight as its display holds it: scaled / 10^decimals, at most six digits.
struct SimWeight {
    std::int64_t scaled = 0;
    int decimals = 0;
};

inline constexpr int kSimMaxDigits = 6;
inline constexpr int kSimMaxDecimals = 4;

// "[-+]digits[.digits]" (a comma works as the point), at most six digits of which at most
// four after the point.
std::optional<SimWeight> ParseSimWeight(std::string_view text);
std::string FormatSimWeight(const SimWeight& weight);
std::optional<SimProtocol> ParseSimProtocol(std::string_view text);
// Bytes as uppercase hexadecimal pairs with a blank between them ("FF 01 C3"), for logs.
std::string SpacedHex(std::string_view bytes);

// The weighing terminal's side of both protocols, without any device: bytes from the line go
// in, the terminal's answer comes out. A request split over several calls is put together.
class SimTerminal {
public:
    SimTerminal(SimProtocol protocol, std::int32_t address, std::uint32_t seed = 1);

    // Takes what the program wrote and returns what the terminal sends back (maybe nothing).
    std::string Receive(std::string_view bytes);
    // True when no request is half received, so nothing is held back waiting for more bytes.
    bool Idle() const;

    void SetProtocol(SimProtocol protocol);
    void SetAddress(std::int32_t address) { address_ = address; }
    void SetWeight(const SimWeight& weight) { weight_ = weight; }
    void SetStable(bool stable) { stable_ = stable; }
    void SetOverload(bool overload) { overload_ = overload; }
    // A silent terminal hears nothing and answers nothing, as if unplugged.
    void SetSilent(bool silent) { silent_ = silent; }
    // Answers with random bytes instead of replies.
    void SetGarbage(bool garbage) { garbage_ = garbage; }
    // After each weight reply the weight moves by step, turning back at 0 and at limit.
    void SetDrift(const SimWeight& step, const SimWeight& limit);
    // Line noise: count random bytes that the terminal sends unasked, such as a burst from a
    // loose connector. Nothing else changes.
    std::string Noise(std::size_t count);

    SimProtocol Protocol() const { return protocol_; }
    std::int32_t Address() const { return address_; }
    const SimWeight& Weight() const { return weight_; }
    bool Stable() const { return stable_; }
    int WeightRequests() const { return weightRequests_; }
    int ZeroRequests() const { return zeroRequests_; }
    std::string Describe() const;

    // Called with one line per request served, for the tool's log.
    std::function<void(const std::string&)> onRequest;

private:
    std::string ReceiveVorlen();
    std::string Receive643();
    std::string WeightReply();
    std::string VorlenWeightReply() const;
    std::string WeightReply643() const;
    std::string Zero();
    void Drift();
    void Note(const std::string& what, const std::string& answer);

    SimProtocol protocol_;
    std::int32_t address_;
    SimWeight weight_;
    bool stable_ = true;
    bool overload_ = false;
    bool silent_ = false;
    bool garbage_ = false;
    SimWeight driftStep_;
    SimWeight driftLimit_;
    std::string buffer_;
    int weightRequests_ = 0;
    int zeroRequests_ = 0;
    std::mt19937 random_;
};

} // namespace vesmera
