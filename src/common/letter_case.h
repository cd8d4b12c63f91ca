#pragma once

#include <string_view>

namespace vesmera {

// Whether two UTF-8 texts are equal without regard to letter case: ASCII, Latin-1, Greek and
// Cyrillic letters match their other case. Names in the profile files, the colour names, the
// start switches and the dialog's list entries all match this way.
bool EqualNoCase(std::string_view a, std::string_view b);

} // namespace vesmera
