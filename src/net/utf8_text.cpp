#include "net/utf8_text.h"

#include <cstddef>

namespace vesmera {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid sequence starting at bytes[i], or 0 when none starts there.
std::size_t ValidSequenceLength(std::string_view bytes, std::size_t i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80; // bounds of the second byte exclude overlongs and surrogates
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) {
        return 0;
    }
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < low || second > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsContinuation(static_cast<unsigned char>(bytes[i + k]))) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string DecodeUtf8Line(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t n = ValidSequenceLength(bytes, i);
        if (n > 0) {
            text.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        // One replacement for the lead byte and the continuation bytes that follow it.
        text.append(kReplacement);
        ++i;
        while (i < bytes.size() && IsContinuation(static_cast<unsigned char>(bytes[i]))) {
            ++i;
        }
    }
    return text;
}

} // namespace vesmera
