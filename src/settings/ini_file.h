#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "settings/profile_file.h"

namespace vesmera {

class IFileSystem;

// One key's new value.
struct ProfileEntry {
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

// A profile file on disk, read once; each write changes its keys in memory and then replaces
// the file once, whole, so a failure part-way never leaves some keys new and some old.
class IniFile {
public:
    // A missing or unreadable file reads as empty.
    IniFile(std::string path, IFileSystem& fs);

    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // Writes every entry, in order, with the profile rules, as one replacement of the file.
    // Fails with "Unable to write to <path>" when the file cannot be replaced; the file and
    // this object then keep what they held.
    void WriteStrings(std::initializer_list<ProfileEntry> entries);
    void WriteString(std::string_view section, std::string_view key, std::string_view value) {
        WriteStrings({{section, key, value}});
    }

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    IFileSystem* fs_;
    ProfileFile profile_;
    int readError_ = 0; // errno of the failed read, 0 when read
};

} // namespace vesmera
