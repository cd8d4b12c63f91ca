#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/exception.h"

namespace vesmera {

// A statement argument that is not an integer. The text is the run-time library's conversion
// message, which the animation timer shows.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

struct ScriptStatement {
    static constexpr std::size_t kMaxNameLength = 25;

    std::string Name; // lower case, cut to kMaxNameLength characters
    std::int32_t Argument = 0;
    bool operator==(const ScriptStatement&) const = default;
};

// Reads one line of animator code as the animation tick does: the number of statements is the
// number of ";" in the whole line; the first and last characters are dropped unexamined; the
// rest is lower-cased and stripped. Each statement runs up to its ";", its name is the text
// before "(", and its argument is the text from two characters after the name up to the first
// ")". Every statement is parsed before any runs, so one bad argument throws EConvertError
// for the whole line.
std::vector<ScriptStatement> ParseScriptLine(std::string_view line);

} // namespace vesmera
