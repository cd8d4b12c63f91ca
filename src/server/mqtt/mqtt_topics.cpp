#include "server/mqtt/mqtt_topics.h"

namespace vesmera {

namespace {

constexpr std::string_view kTerminals = "/terminals/";
constexpr std::string_view kZero = "/zero";

// The length of the UTF-8 sequence at the front of text and its code point, or 0 when the
// front byte starts no valid sequence (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t Utf8Sequence(std::string_view text, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    char32_t min;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// Characters with a meaning in topics, and those a broker may refuse in a topic name.
bool NeedsEscape(char32_t c) {
    return c == '%' || c == '/' || c == '+' || c == '#' || c < 0x20 || (c >= 0x7F && c <= 0x9F) ||
           (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    constexpr const char* kHex = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // lower case is never written, so never read
}

} // namespace

std::string EscapeTopicLevel(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    while (!name.empty()) {
        char32_t c = 0;
        const std::size_t length = Utf8Sequence(name, c);
        if (length == 0) {
            AppendEscaped(out, static_cast<unsigned char>(name.front()));
            name.remove_prefix(1);
            continue;
        }
        if (NeedsEscape(c))
            for (std::size_t i = 0; i < length; ++i)
                AppendEscaped(out, static_cast<unsigned char>(name[i]));
        else
            out.append(name.substr(0, length));
        name.remove_prefix(length);
    }
    return out;
}

std::optional<std::string> UnescapeTopicLevel(std::string_view level) {
    std::string name;
    name.reserve(level.size());
    for (std::size_t i = 0; i < level.size(); ++i) {
        if (level[i] != '%') {
            name += level[i];
            continue;
        }
        if (i + 2 >= level.size())
            return std::nullopt;
        const int high = HexValue(level[i + 1]), low = HexValue(level[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        name += static_cast<char>(high * 16 + low);
        i += 2;
    }
    // Only the one spelling that escaping makes stands for the name.
    if (EscapeTopicLevel(name) != level)
        return std::nullopt;
    return name;
}

std::string MqttTopics::Terminal(std::string_view name) const {
    return prefix_ + std::string(kTerminals) + EscapeTopicLevel(name);
}

std::optional<std::string_view> MqttTopics::ZeroLevel(std::string_view topic) const {
    if (!topic.starts_with(prefix_))
        return std::nullopt;
    topic.remove_prefix(prefix_.size());
    // The two parts share no byte: "/terminals/zero" names no level at all.
    if (topic.size() <= kTerminals.size() + kZero.size() || !topic.starts_with(kTerminals) ||
        !topic.ends_with(kZero))
        return std::nullopt;
    topic.remove_prefix(kTerminals.size());
    topic.remove_suffix(kZero.size());
    if (topic.find('/') != std::string_view::npos)
        return std::nullopt;
    return topic;
}

std::string MqttTopics::ZeroResult(std::string_view level) const {
    return prefix_ + std::string(kTerminals) + std::string(level) + std::string(kZero) + "/result";
}

} // namespace vesmera
