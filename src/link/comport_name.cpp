#include "link/comport_name.h"

#include <charconv>
#include <cstdint>

namespace vesmera {

namespace {

bool StartsWithComIgnoringCase(const std::string& name) {
    auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    return name.size() >= 3 && lower(name[0]) == 'c' && lower(name[1]) == 'o' &&
           lower(name[2]) == 'm';
}

} // namespace

std::optional<std::string> ComPortDevicePath(const std::string& name) {
    if (!name.empty() && name.front() == '/')
        return name;
    if (!StartsWithComIgnoringCase(name) || name.size() == 3)
        return std::nullopt;
    const char* first = name.data() + 3;
    const char* last = name.data() + name.size();
    std::uint32_t number = 0;
    auto [end, error] = std::from_chars(first, last, number);
    // from_chars takes no sign and stops at the first non-digit, so only digits pass.
    if (error != std::errc() || end != last || number == 0)
        return std::nullopt;
    std::string path = "/dev/ttyS";
    char digits[12];
    auto digitsEnd = std::to_chars(digits, digits + sizeof digits, number - 1).ptr;
    path.append(digits, digitsEnd);
    return path;
}

} // namespace vesmera
