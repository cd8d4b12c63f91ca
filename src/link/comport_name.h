#pragma once

#include <optional>
#include <string>

namespace vesmera {

// The device path of a port name: a name beginning with "/" is a path used as it is, "ComN"
// (any letter case, N from 1) is /dev/ttyS<N-1>. Any other name names no device.
std::optional<std::string> ComPortDevicePath(const std::string& name);

} // namespace vesmera
