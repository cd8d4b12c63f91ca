#include "common/display_platform.h"

#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace vesmera {
namespace {

struct PlatformRow {
    std::map<std::string, std::string> env;
    std::optional<std::string> expected; // QT_QPA_PLATFORM to set; none leaves it alone
};

class WindowingPlatformTest : public ::testing::TestWithParam<PlatformRow> {};

TEST_P(WindowingPlatformTest, EndsInTheWindowlessPlatform) {
    const PlatformRow& row = GetParam();
    const EnvironmentLookup env = [&](const char* name) -> std::optional<std::string> {
        const auto it = row.env.find(name);
        return it == row.env.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    EXPECT_EQ(WindowingPlatform(env), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WindowingPlatformTest,
    ::testing::Values(
        // X11 where a display is set, also beside Wayland; offscreen when it cannot connect.
        PlatformRow{{{"DISPLAY", ":0"}}, "xcb;offscreen"},
        PlatformRow{{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, "xcb;offscreen"},
        PlatformRow{{{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":0"}}, "xcb;offscreen"},
        PlatformRow{{{"WAYLAND_DISPLAY", "wayland-0"}}, "wayland;offscreen"},
        // No display at all: no attempt that could abort.
        PlatformRow{{}, "offscreen"},
        PlatformRow{{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, "offscreen"},
        // The user's own choice is kept, with the fallback after it.
        PlatformRow{{{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}}, "wayland;offscreen"},
        PlatformRow{{{"QT_QPA_PLATFORM", "wayland;xcb"}}, "wayland;xcb;offscreen"},
        PlatformRow{{{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", ":0"}}, std::nullopt},
        PlatformRow{{{"QT_QPA_PLATFORM", "xcb;minimal"}}, std::nullopt}));

} // namespace
} // namespace vesmera
