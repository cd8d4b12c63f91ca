#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/settings_store.h"
#include "app/terminal_list.h"
#include "settings/executable_dir.h"
#include "settings/settings_dir.h"
#include "test_files.h"

using namespace vesmera;
using namespace vesmera::testing_files;

namespace {

// Sets or unsets one environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct ConfigRow {
    const char* xdgConfigHome;
    const char* home;
    const char* accountHome;
    const char* expected;
};

class UserConfigRows : public testing::TestWithParam<ConfigRow> {};

TEST_P(UserConfigRows, PicksTheFirstAbsoluteBase) {
    const ConfigRow& r = GetParam();
    EXPECT_EQ(UserConfigDirectory(r.xdgConfigHome, r.home, r.accountHome), r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsDirectory, UserConfigRows,
    testing::Values(ConfigRow{"/srv/cfg", "/home/u", "/a", "/srv/cfg/Vesmera/"},
                    ConfigRow{"/srv/cfg/", "/home/u", "/a", "/srv/cfg/Vesmera/"},
                    ConfigRow{"", "/home/u", "/a", "/home/u/.config/Vesmera/"},
                    ConfigRow{nullptr, "/home/u/", "/a", "/home/u/.config/Vesmera/"},
                    // Relative bases would move with the working folder.
                    ConfigRow{"cfg", "/home/u", "/a", "/home/u/.config/Vesmera/"},
                    ConfigRow{"cfg", "home/u", "/var/lib/u", "/var/lib/u/.config/Vesmera/"},
                    ConfigRow{nullptr, nullptr, "/var/lib/u", "/var/lib/u/.config/Vesmera/"},
                    ConfigRow{nullptr, "", "", "/.config/Vesmera/"}));

TEST(SettingsDirectory, EachPlaceFromItsSource) {
    // Every test runs against a default build, which keeps the files beside the program.
    EXPECT_EQ(BuiltSettingsPlace(), SettingsPlace::BesideExecutable);
    EXPECT_EQ(SettingsDirectory(), ExecutableDirectory());
    EXPECT_EQ(&SettingsFileSystem(), &RealFileSystem());

    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/cfg");
        EXPECT_EQ(SettingsDirectory(SettingsPlace::UserConfig), "/srv/cfg/Vesmera/");
    }
    // Without HOME the account's home from the password database serves.
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(SettingsDirectory(SettingsPlace::UserConfig),
              UserConfigDirectory(nullptr, nullptr, entry->pw_dir));
}

// The settings files of an installed program, in the user's folder on the real disk.
class UserConfigOnDisk : public testing::Test {
protected:
    SettingsStore Store() {
        return SettingsStore([] { return SettingsDirectory(SettingsPlace::UserConfig); },
                             SettingsFileSystem(SettingsPlace::UserConfig));
    }
    TempDir dir;
};

TEST_F(UserConfigOnDisk, AMissingFolderLoadsDefaultsAndIsMadeOnTheFirstSave) {
    const std::string base = dir.File("missing/config");
    ScopedEnv xdg("XDG_CONFIG_HOME", base.c_str());
    SettingsStore store = Store();
    EXPECT_EQ(store.Load().skin, "Cold");
    EXPECT_EQ(dir.EntryCount(), 0u) << "a load creates nothing";

    store.SaveSkin("Нет");
    EXPECT_EQ(store.SettingsPath(), base + "/Vesmera/Vesmera.ini");
    EXPECT_EQ(store.Load().skin, "Нет");
    struct stat st {};
    ASSERT_EQ(::stat((base + "/Vesmera").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The terminal list alone makes the folder too, in the dialog's own file system.
    const std::string other = dir.File("other");
    ScopedEnv otherXdg("XDG_CONFIG_HOME", other.c_str());
    TerminalListFile list(SettingsFileSystem(SettingsPlace::UserConfig));
    list.Write(store.TerminalListPath(), {"Весы 1"});
    EXPECT_EQ(ReadBytes(other + "/Vesmera/ZidOzod.ini"), "Весы 1\r\n");
}

TEST_F(UserConfigOnDisk, AFolderThatCannotBeMadeLoadsDefaultsAndNamesThePathOnSave) {
    // A file in the way refuses even the superuser, whom permissions do not stop.
    WriteBytes(dir.File("plain"), "x");
    const std::string base = dir.File("plain") + "/config";
    ScopedEnv xdg("XDG_CONFIG_HOME", base.c_str());
    SettingsStore store = Store();
    EXPECT_EQ(store.Load().port, "Com1");
    try {
        store.SaveSkin("Нет");
        FAIL() << "a save into a folder that cannot be made succeeded";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + base + "/Vesmera/Vesmera.ini");
    }
    TerminalListFile list(SettingsFileSystem(SettingsPlace::UserConfig));
    const std::string listPath = store.TerminalListPath();
    try {
        list.Write(listPath, {"T1"});
        FAIL() << "a list written into a folder that cannot be made succeeded";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + listPath + "\". " + SystemReason(ENOTDIR));
    }
}

} // namespace
