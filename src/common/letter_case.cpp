#include "common/letter_case.h"

#include "common/text_encoding.h"

namespace vesmera {

namespace {

char32_t FoldCodePoint(char32_t c) {
    if (c >= 'A' && c <= 'Z')
        return c + 0x20;
    if (c < 0x80)
        return c;
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7)
        return c + 0x20;
    if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2)
        return c + 0x20;
    if (c >= 0x0400 && c <= 0x040F)
        return c + 0x50;
    if (c >= 0x0410 && c <= 0x042F)
        return c + 0x20;
    // The rest of the Cyrillic block pairs a capital (even) with its small letter (odd),
    // except the stretch 04C1..04CE, where the capital is odd.
    if (c == 0x04C0)
        return 0x04CF;
    if (c >= 0x04C1 && c <= 0x04CE)
        return (c % 2 == 1) ? c + 1 : c;
    if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) ||
        (c >= 0x04D0 && c <= 0x052F))
        return (c % 2 == 0) ? c + 1 : c;
    return c;
}

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (FoldCodePoint(NextCodePoint(a, i)) != FoldCodePoint(NextCodePoint(b, j)))
            return false;
    return i == a.size() && j == b.size();
}

} // namespace vesmera
