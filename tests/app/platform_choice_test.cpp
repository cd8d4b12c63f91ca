#include "app/platform_choice.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace vesmera {
namespace {

// Sets or clears one environment variable for a test and puts the old value back after.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvironmentValue() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string Platform() {
    const char* p = std::getenv("QT_QPA_PLATFORM");
    return p ? p : "<unset>";
}

struct PlatformRow {
    const char* chosen;
    const char* display;
    bool platformArgument;
    std::string expected;
};

class PreferX11Test : public ::testing::TestWithParam<PlatformRow> {};

TEST_P(PreferX11Test, ChoosesXcbOnlyWhenNothingWasChosen) {
    const PlatformRow& row = GetParam();
    EnvironmentValue platform("QT_QPA_PLATFORM", row.chosen);
    EnvironmentValue display("DISPLAY", row.display);
    char program[] = "vesmera", flag[] = "-platform", value[] = "wayland";
    char* withArgument[] = {program, flag, value, nullptr};
    char* plain[] = {program, nullptr};
    if (row.platformArgument) {
        PreferX11Platform(3, withArgument);
    } else {
        PreferX11Platform(1, plain);
    }
    EXPECT_EQ(Platform(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, PreferX11Test,
                         ::testing::Values(PlatformRow{nullptr, ":0", false, "xcb"},
                                           PlatformRow{"", ":0", false, "xcb"},
                                           PlatformRow{"wayland", ":0", false, "wayland"},
                                           PlatformRow{nullptr, ":0", true, "<unset>"},
                                           PlatformRow{nullptr, nullptr, false, "<unset>"},
                                           PlatformRow{"offscreen", nullptr, false, "offscreen"}));

} // namespace
} // namespace vesmera
