#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesmera {

// Index of the first entry equal to `text` without regard to letter case, Cyrillic included,
// as the dialog's lists select their entries ("COM3" selects "Com3"), or -1.
int FindNoCase(const std::vector<std::string>& entries, std::string_view text);

} // namespace vesmera
