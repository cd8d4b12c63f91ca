#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesmera {

// A request path split at its '/' and each segment percent-decoded, so a name may hold an
// encoded '/'. Nothing for a path that is not plain: not starting with '/', a broken escape,
// a NUL, text that is not UTF-8, or a "." or ".." segment (raw or encoded).
std::optional<std::vector<std::string>> SplitPath(std::string_view raw);

} // namespace vesmera
