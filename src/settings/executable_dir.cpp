#include "settings/executable_dir.h"

#include <unistd.h>
#include <vector>

namespace vesmera {

std::string DirectoryOf(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return "./";
    return std::string(path.substr(0, slash + 1));
}

std::string ExecutableDirectory() {
    // readlink does not say whether the name was cut, so grow until it fits.
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return "./"; // no /proc: the files are looked up in the working directory
        if (static_cast<std::size_t>(n) < buf.size())
            return DirectoryOf(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        buf.resize(buf.size() * 2);
    }
}

} // namespace vesmera
