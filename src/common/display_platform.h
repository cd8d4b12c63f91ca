#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/environment.h"

namespace vesmera {

inline constexpr const char* kWindowlessPlatform = "offscreen";

// The windowing platform to ask Qt for (the value of QT_QPA_PLATFORM), or none to leave the
// user's own choice alone. X11 is preferred where a display exists, since Wayland lets no
// program place its windows. Every choice ends in the windowless platform, so a display that
// is missing or cannot be reached runs the program without windows instead of aborting it.
std::optional<std::string> WindowingPlatform(const EnvironmentLookup& env);

// Whether Qt's platform draws nowhere: nobody can see a window or answer a box.
bool IsWindowlessPlatform(std::string_view platformName);

// Sets QT_QPA_PLATFORM by WindowingPlatform unless "-platform" is on the command line.
// Returns whether the windowless fallback was armed by this choice (not by the user's own).
bool PrepareWindowingPlatform(int argc, char** argv);

// The one line on standard error that says the program runs without windows.
void ReportWindowless();

} // namespace vesmera
