#include "common/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace vesmera {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1251 bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order. The code page leaves
// 0x98 unassigned; it maps to U+0098 so that every byte survives a read and a write.
constexpr std::array<char16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t Cp1251ToCodePoint(unsigned char b) {
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return 0x0410 + (b - 0xC0);
    return kCp1251High[b - 0x80];
}

// Code points of 0x80..0xBF sorted for a binary search; writing a 10 MB file stays linear.
const std::array<std::pair<char32_t, unsigned char>, 64>& Cp1251Reverse() {
    static const auto table = [] {
        std::array<std::pair<char32_t, unsigned char>, 64> t{};
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = {kCp1251High[i], static_cast<unsigned char>(0x80 + i)};
        std::sort(t.begin(), t.end());
        return t;
    }();
    return table;
}

char CodePointToCp1251(char32_t cp) {
    if (cp < 0x80)
        return static_cast<char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F)
        return static_cast<char>(0xC0 + (cp - 0x0410));
    const auto& t = Cp1251Reverse();
    auto it = std::lower_bound(t.begin(), t.end(), std::pair<char32_t, unsigned char>{cp, 0});
    if (it != t.end() && it->first == cp)
        return static_cast<char>(it->second);
    return '?';
}

// A valid sequence's length and value, or 0 when the bytes at `pos` are not well-formed
// UTF-8 (overlong forms, surrogates and values above U+10FFFF included).
std::size_t DecodeSequence(std::string_view s, std::size_t pos, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        min = 0x80;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        min = 0x800;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        min = 0x10000;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (s.size() - pos < len)
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[pos + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

std::string CleanUtf8(std::string_view s) {
    if (IsValidUtf8(s))
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();)
        AppendUtf8(out, NextCodePoint(s, pos));
    return out;
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        // A surrogate without its partner has no character; the text keeps a mark of it.
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    if (i < bytes.size())
        AppendUtf8(out, kReplacement); // an odd last byte
    return out;
}

void AppendUtf16(std::string& out, char32_t u, bool bigEndian) {
    const auto hi = static_cast<char>(u >> 8);
    const auto lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
}

std::string EncodeUtf16(std::string_view utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    out.reserve(2 + utf8.size() * 2);
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, pos);
        if (cp >= 0x10000) {
            AppendUtf16(out, 0xD800 + ((cp - 0x10000) >> 10), bigEndian);
            AppendUtf16(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), bigEndian);
        } else {
            AppendUtf16(out, cp, bigEndian);
        }
    }
    return out;
}

} // namespace

bool IsValidUtf8(std::string_view s) {
    char32_t cp;
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t len = DecodeSequence(s, pos, cp);
        if (len == 0)
            return false;
        pos += len;
    }
    return true;
}

std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t pos) {
    char32_t cp;
    return DecodeSequence(bytes, pos, cp);
}

std::string DecodeLine(std::string_view bytes) {
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes)
        AppendUtf8(out, Cp1251ToCodePoint(static_cast<unsigned char>(c)));
    return out;
}

char32_t NextCodePoint(std::string_view utf8, std::size_t& pos) {
    char32_t cp = kReplacement;
    const std::size_t len = DecodeSequence(utf8, pos, cp);
    if (len == 0) {
        ++pos;
        return kReplacement;
    }
    pos += len;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string DecodeText(std::string_view bytes, TextEncoding& found) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        found = TextEncoding::Utf8Bom;
        return CleanUtf8(bytes.substr(3));
    }
    if (bytes.starts_with("\xFF\xFE")) {
        found = TextEncoding::Utf16LE;
        return DecodeUtf16(bytes.substr(2), false);
    }
    if (bytes.starts_with("\xFE\xFF")) {
        found = TextEncoding::Utf16BE;
        return DecodeUtf16(bytes.substr(2), true);
    }
    found = IsValidUtf8(bytes) ? TextEncoding::Utf8NoMark : TextEncoding::Windows1251;
    return DecodeLine(bytes);
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8NoMark:
        return CleanUtf8(utf8);
    case TextEncoding::Utf8Bom:
        return "\xEF\xBB\xBF" + CleanUtf8(utf8);
    case TextEncoding::Utf16LE:
        return EncodeUtf16(utf8, false);
    case TextEncoding::Utf16BE:
        return EncodeUtf16(utf8, true);
    case TextEncoding::Windows1251:
        break;
    }
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();)
        out += CodePointToCp1251(NextCodePoint(utf8, pos));
    return out;
}

} // namespace vesmera
