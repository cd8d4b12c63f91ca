#include "settings/settings_dir.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "settings/executable_dir.h"
#include "settings/folder_making_file_system.h"

namespace vesmera {

namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// The home folder of the account running the program, for a start with HOME unset (a service,
// a cron job, `env -i`). Empty when the account has no entry.
std::string AccountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buf.data(), buf.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr)
        return {};
    return found->pw_dir;
}

} // namespace

SettingsPlace BuiltSettingsPlace() {
#ifdef VESMERA_SETTINGS_XDG
    return SettingsPlace::UserConfig;
#else
    return SettingsPlace::BesideExecutable;
#endif
}

std::string UserConfigDirectory(const char* xdgConfigHome, const char* home,
                                const std::string& accountHome) {
    std::string base;
    if (IsAbsolute(xdgConfigHome))
        base = WithSlash(xdgConfigHome);
    else if (IsAbsolute(home))
        base = WithSlash(home) + ".config/";
    else if (IsAbsolute(accountHome.c_str()))
        base = WithSlash(accountHome) + ".config/";
    else
        // No home at all (an account without an entry): the root's .config/, where only the
        // superuser may write; anyone else loads the defaults and sees the error box on save,
        // rather than finding files in whatever the working folder was.
        base = "/.config/";
    return base + "Vesmera/";
}

std::string SettingsDirectory(SettingsPlace place) {
    if (place == SettingsPlace::BesideExecutable)
        return ExecutableDirectory();
    const char* xdgConfigHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const bool needAccount = !IsAbsolute(xdgConfigHome) && !IsAbsolute(home);
    return UserConfigDirectory(xdgConfigHome, home, needAccount ? AccountHome() : std::string());
}

std::string SettingsDirectory() {
    return SettingsDirectory(BuiltSettingsPlace());
}

IFileSystem& SettingsFileSystem(SettingsPlace place) {
    if (place == SettingsPlace::BesideExecutable)
        return RealFileSystem();
    static FolderMakingFileSystem making(RealFileSystem());
    return making;
}

IFileSystem& SettingsFileSystem() {
    return SettingsFileSystem(BuiltSettingsPlace());
}

} // namespace vesmera
