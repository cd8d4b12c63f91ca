#include "server/http/http_path.h"

#include "common/number_text.h"
#include "common/text_encoding.h"

namespace vesmera {

namespace {

std::optional<std::string> Decode(std::string_view segment) {
    std::string out;
    out.reserve(segment.size());
    for (std::size_t i = 0; i < segment.size(); ++i) {
        char c = segment[i];
        if (c == '%') {
            if (i + 2 >= segment.size())
                return std::nullopt;
            const int high = HexDigit(segment[i + 1]);
            const int low = HexDigit(segment[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\0')
            return std::nullopt;
        out += c;
    }
    if (!IsValidUtf8(out) || out == "." || out == "..")
        return std::nullopt;
    return out;
}

} // namespace

std::optional<std::vector<std::string>> SplitPath(std::string_view raw) {
    if (raw.empty() || raw.front() != '/')
        return std::nullopt;
    std::vector<std::string> segments;
    raw.remove_prefix(1);
    while (true) {
        const auto slash = raw.find('/');
        auto segment = Decode(raw.substr(0, slash));
        if (!segment)
            return std::nullopt;
        segments.push_back(std::move(*segment));
        if (slash == std::string_view::npos)
            return segments;
        raw.remove_prefix(slash + 1);
    }
}

} // namespace vesmera
