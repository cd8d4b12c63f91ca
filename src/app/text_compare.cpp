#include "app/text_compare.h"

#include <cstdint>

namespace vesmera {

namespace {

// Decodes one UTF-8 sequence; invalid bytes stand for themselves so that any text compares.
char32_t Next(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    auto cont = [&](std::size_t k) -> int {
        if (i + k >= s.size())
            return -1;
        const auto b = static_cast<unsigned char>(s[i + k]);
        return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF && cont(1) >= 0) {
        char32_t c = ((b0 & 0x1F) << 6) | cont(1);
        i += 2;
        return c;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) >= 0 && cont(2) >= 0) {
        char32_t c = ((b0 & 0x0F) << 12) | (cont(1) << 6) | cont(2);
        i += 3;
        return c;
    }
    ++i;
    return b0;
}

// Lower case for Latin, Cyrillic (including Ё and the Ukrainian and Belarusian letters) and
// Greek, the alphabets a port, skin or protocol name can be written in.
char32_t Lower(char32_t c) {
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    return c;
}

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (Lower(Next(a, i)) != Lower(Next(b, j)))
            return false;
    return i == a.size() && j == b.size();
}

int FindNoCase(const std::vector<std::string>& entries, std::string_view text) {
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (EqualNoCase(entries[k], text))
            return static_cast<int>(k);
    return -1;
}

} // namespace vesmera
