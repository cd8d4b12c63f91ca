// A "6.43" weight reply from any bytes: a reply decodes only from its weight field and status
// character, the weight is finite, a field without an exponent gives at most seven digits, and
// the weight text reads back as the weight.
#include <cmath>
#include <cstdint>
#include <string>

#include "common/number_text.h"
#include "fuzz_check.h"
#include "link/protocol_643.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vesmera;
    const std::string_view reply = fuzz::AsText(data, size);
    const auto reading = DecodeReply643(reply);
    if (size < k643MinimumReply) {
        FUZZ_CHECK(!reading, "a reply shorter than 9 characters does not decode");
        return 0;
    }
    // Characters past the ninth and the first one play no part.
    std::string other(reply.substr(0, 9));
    other[0] = static_cast<char>(data[0] ^ 0x5A);
    const auto same = DecodeReply643(other);
    FUZZ_CHECK(same.has_value() == reading.has_value(), "only characters 2 to 9 count");
    if (!reading)
        return 0;
    FUZZ_CHECK(same->weight == reading->weight && same->stable == reading->stable,
               "only characters 2 to 9 count");

    const long double w = reading->weight;
    FUZZ_CHECK(std::isfinite(w), "a decoded weight is finite");
    FUZZ_CHECK(reading->stable == ((data[8] & 1) == 0), "bit 0 of character 9 is the status");
    FUZZ_CHECK(!reading->overload, "this protocol reports no overload");
    const std::string_view field = reply.substr(1, 7);
    if (field.find_first_of("eE") == std::string_view::npos)
        FUZZ_CHECK(std::fabs(w) < 1e7L, "a field without an exponent holds at most 7 digits");

    const std::string text = FormatGeneral(w, ',');
    const auto back = ParseFloat(text, ',');
    FUZZ_CHECK(back.has_value(), "the weight text is a number");
    FUZZ_CHECK(*back == w || std::fabs(*back - w) <= std::fabs(w) * 1e-14L,
               "the weight text reads back as the weight");
    return 0;
}
