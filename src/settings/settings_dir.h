#pragma once

#include <string>

namespace vesmera {

class IFileSystem;

// Where Vesmera.ini and ZidOzod.ini are kept.
enum class SettingsPlace {
    BesideExecutable, // a built program: every copy of the executable has its own files
    UserConfig,       // an installed program: one set per user, in the user's config folder
};

// The place this build keeps its settings in (-DVESMERA_SETTINGS=xdg gives UserConfig).
SettingsPlace BuiltSettingsPlace();

// The user's folder Vesmera/ with a trailing '/': under XDG_CONFIG_HOME when that is an absolute
// path, else under HOME's .config/, else under the account's home from the password database.
// Null pointers stand for unset variables. Relative paths are ignored, as the base directory
// rules ask, so a program started from another working folder finds the same files.
std::string UserConfigDirectory(const char* xdgConfigHome, const char* home,
                                const std::string& accountHome);

// The folder of the settings files for `place`, with a trailing '/'. Asked again at every load
// and save, as the executable directory is.
std::string SettingsDirectory(SettingsPlace place);
std::string SettingsDirectory(); // the built place

// The file system the settings files go through: the user's folder may not exist yet, so for
// UserConfig a save first creates the missing folders.
IFileSystem& SettingsFileSystem(SettingsPlace place);
IFileSystem& SettingsFileSystem(); // the built place

} // namespace vesmera
