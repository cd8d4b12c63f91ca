#pragma once

#include <string>
#include <string_view>

namespace vesmera {

// The directory of the running program (/proc/self/exe) with a trailing '/'. The settings
// files live there, so every copy of the program has its own.
std::string ExecutableDirectory();

// The directory part of a file path, always ending in '/': "/opt/v/prog" gives "/opt/v/",
// "/prog" gives "/", a bare name gives "./".
std::string DirectoryOf(std::string_view path);

} // namespace vesmera
