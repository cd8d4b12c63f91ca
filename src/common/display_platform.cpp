#include "common/display_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vesmera {

namespace {

bool IsSet(const EnvironmentLookup& env, const char* name) {
    const auto value = env(name);
    return value && !value->empty();
}

// Whether a platform list (names separated by ';') already ends in one that needs no display.
bool EndsWindowless(const std::string& list) {
    const auto last = list.rfind(';');
    return IsWindowlessPlatform(last == std::string::npos
                                    ? std::string_view(list)
                                    : std::string_view(list).substr(last + 1));
}

} // namespace

std::optional<std::string> WindowingPlatform(const EnvironmentLookup& env) {
    const std::string fallback = std::string(";") + kWindowlessPlatform;
    if (const auto chosen = env("QT_QPA_PLATFORM"); chosen && !chosen->empty()) {
        if (EndsWindowless(*chosen))
            return std::nullopt;
        return *chosen + fallback;
    }
    if (IsSet(env, "DISPLAY"))
        return "xcb" + fallback;
    if (IsSet(env, "WAYLAND_DISPLAY"))
        return "wayland" + fallback;
    return std::string(kWindowlessPlatform);
}

bool IsWindowlessPlatform(std::string_view platformName) {
    return platformName == kWindowlessPlatform || platformName == "minimal";
}

bool PrepareWindowingPlatform(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return false;
    const auto platform = WindowingPlatform(ProcessEnvironment());
    if (!platform)
        return false;
    setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
    return true;
}

void ReportWindowless() {
    std::fputs("vesmera: no usable display; running without windows, automation is served as "
               "usual\n",
               stderr);
}

} // namespace vesmera
