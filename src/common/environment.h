#pragma once

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace vesmera {

// Reads one environment variable; none when it is not set. Logic takes this instead of
// calling getenv, so tests give it a table.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

inline EnvironmentLookup ProcessEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        if (const char* value = std::getenv(name))
            return std::string(value);
        return std::nullopt;
    };
}

} // namespace vesmera
