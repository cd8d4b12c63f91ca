#include "widgets/lcd/lcd_script.h"

#include <algorithm>

#include "common/number_text.h"

namespace vesmera {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// 1-based position of a character, 0 when absent; the statement rules count in these.
std::size_t Pos(char c, std::string_view s) {
    const auto p = s.find(c);
    return p == std::string_view::npos ? 0 : p + 1;
}

// A 1-based substring with forgiving bounds: a start past the end or a negative count gives
// an empty text.
std::string_view Copy(std::string_view s, long long start, long long count) {
    if (start < 1)
        start = 1;
    if (count <= 0 || start > static_cast<long long>(s.size()))
        return {};
    const auto from = static_cast<std::size_t>(start - 1);
    return s.substr(from, std::min(static_cast<std::size_t>(count), s.size() - from));
}

ScriptStatement ParseStatement(std::string_view statement) {
    const std::size_t open = Pos('(', statement);
    const std::string_view name = Trim(Copy(statement, 1, static_cast<long long>(open) - 1));
    const auto nameLength = static_cast<long long>(name.size());
    const std::size_t close = Pos(')', statement);
    const std::string_view argument =
        Copy(statement, nameLength + 2, static_cast<long long>(close) - nameLength - 2);
    const auto value = ParseInt32(argument);
    if (!value)
        throw EConvertError("''" + std::string(argument) + "'' is not a valid integer value");
    return {std::string(name.substr(0, ScriptStatement::kMaxNameLength)), *value};
}

} // namespace

std::vector<ScriptStatement> ParseScriptLine(std::string_view line) {
    const auto count = std::count(line.begin(), line.end(), ';');
    std::string text(Copy(line, 2, static_cast<long long>(line.size()) - 2));
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    std::string_view rest = Trim(text);
    std::vector<ScriptStatement> statements;
    statements.reserve(static_cast<std::size_t>(count));
    for (long long k = 0; k < count; ++k) {
        const std::size_t end = Pos(';', rest);
        statements.push_back(ParseStatement(Trim(Copy(rest, 1, static_cast<long long>(end)))));
        rest = Trim(rest.substr(end));
    }
    return statements;
}

} // namespace vesmera
