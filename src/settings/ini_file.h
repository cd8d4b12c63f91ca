#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/profile_file.h"

namespace vesmera {

class IFileSystem;

// A profile file on disk, read once and replaced atomically at every key write, as the
// Windows profile functions write key by key.
class IniFile {
public:
    // A missing or unreadable file reads as empty.
    IniFile(std::string path, IFileSystem& fs);

    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // Fails with "Unable to write to <path>" when the file cannot be replaced; the file and
    // this object then keep what they held.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    IFileSystem* fs_;
    ProfileFile profile_;
    int readError_ = 0; // errno of the failed read, 0 when read
};

} // namespace vesmera
