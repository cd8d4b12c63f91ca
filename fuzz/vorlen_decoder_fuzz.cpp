// A Ворлен weight reply from any bytes: only a frame for the address asked with the weight
// command decodes (after a leftover zero answer, if any); a decoded weight has at most six
// digits, matches the frame's packed-decimal bytes 4 to 6 with the point position of byte 7,
// carries no negative zero, and its weight text holds at most six digits. A request frame
// checks out under its own CRC.
#include <cmath>
#include <cstdint>
#include <string>

#include "common/number_text.h"
#include "fuzz_check.h"
#include "link/vorlen_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vesmera;
    const std::string_view reply = fuzz::AsText(data, size);
    // The address asked is the reply's second byte, so framed replies come easily.
    const std::int32_t address = size > 1 ? data[1] : 1;
    const auto reading = DecodeReplyVorlen(reply, address);

    // Where the weight reply's frame starts, found independently: at once, or after a leftover
    // zero answer.
    const std::string weightHead{'\xFF', static_cast<char>(address), '\xC3'};
    const std::string zeroHead{'\xFF', static_cast<char>(address), '\xC0'};
    std::size_t at = std::string_view::npos;
    if (reply.starts_with(weightHead))
        at = 0;
    else if (reply.starts_with(zeroHead))
        at = reply.find(weightHead, 1);
    if (at == std::string_view::npos || size - at < 7) {
        FUZZ_CHECK(!reading, "only a frame for this address with the weight command decodes");
        return 0;
    }
    data += at;

    // The digits as the terminal packs them, read on their own.
    const std::uint8_t status = data[6];
    const int point = status & kVorlenPointMask;
    long long digits = 0;
    bool digitsValid = true;
    for (int n : {5, 4, 3}) {
        const int high = data[n] >> 4, low = data[n] & 0x0F;
        digitsValid = digitsValid && high <= 9 && low <= 9;
        digits = digits * 100 + high * 10 + low;
    }
    const bool decodes = point <= 9 && (point > 4 || digitsValid);
    FUZZ_CHECK(reading.has_value() == decodes, "a reply decodes exactly when its fields are valid");
    if (!reading)
        return 0;

    const long double w = reading->weight;
    FUZZ_CHECK(std::isfinite(w), "a decoded weight is finite");
    FUZZ_CHECK(!(w == 0 && std::signbit(w)), "a decoded weight is never a negative zero");
    if (point > 4) {
        FUZZ_CHECK(w == 0, "a point position past 4 carries no digits");
    } else {
        long double scaled = std::fabs(w);
        for (int i = 0; i < point; ++i)
            scaled *= 10;
        FUZZ_CHECK(std::fabs(scaled - static_cast<long double>(digits)) < 1e-6L,
                   "the weight is the packed digits over the point position");
        FUZZ_CHECK(std::nearbyint(scaled) <= 999999, "a decoded weight has at most six digits");
        FUZZ_CHECK((w < 0) == ((status & kVorlenNegativeBit) && digits != 0),
                   "the sign bit gives the sign");
    }
    FUZZ_CHECK(reading->stable == ((status & kVorlenStableBit) != 0), "stable bit");
    FUZZ_CHECK(reading->overload == ((status & kVorlenOverloadBit) != 0), "overload bit");

    const std::string text = FormatGeneral(w, ',');
    int textDigits = 0;
    for (char c : text) {
        FUZZ_CHECK((c >= '0' && c <= '9') || c == ',' || c == '-', "weight text characters");
        textDigits += c >= '0' && c <= '9';
    }
    FUZZ_CHECK(textDigits <= 6 || (textDigits == 7 && text.find(',') != std::string::npos &&
                                   text.find(',') == text.find_first_not_of("-0")),
               "a weight text holds at most six digits besides a leading zero");
    FUZZ_CHECK(ParseFloat(text, ',') == w, "the weight text reads back as the weight");

    // Every request frame carries a CRC under which the frame's address and command check out.
    for (std::uint8_t command : {kVorlenWeightCommand, kVorlenZeroCommand}) {
        const std::string frame = VorlenFrame(address, command);
        FUZZ_CHECK(frame.size() == 6 && frame[0] == '\xFF' && frame[4] == '\xFF' &&
                       frame[5] == '\xFF',
                   "a frame is FF, address, command, CRC, FF, FF");
        FUZZ_CHECK(VorlenCrc8(std::string_view(frame).substr(1, 3)) == 0,
                   "address, command and CRC together check out");
    }
    return 0;
}
