#include "settings/ini_file.h"

#include <cerrno>

#include "settings/file_system.h"

namespace vesmera {

IniFile::IniFile(std::string path, IFileSystem& fs) : path_(std::move(path)), fs_(&fs) {
    try {
        profile_ = ProfileFile::FromBytes(fs_->ReadFile(path_));
    } catch (const FileError& e) {
        readError_ = e.ErrorNumber();
    }
}

std::optional<std::string> IniFile::ReadString(std::string_view section,
                                               std::string_view key) const {
    return profile_.ReadString(section, key);
}

void IniFile::WriteStrings(std::initializer_list<ProfileEntry> entries) {
    const auto refused = [this] { return Exception("Unable to write to " + path_); };
    // A file that is there but could not be read would lose all its other keys if it were
    // replaced by this one.
    if (readError_ != 0 && readError_ != ENOENT)
        throw refused();
    ProfileFile next = profile_;
    for (const ProfileEntry& e : entries)
        next.WriteString(e.section, e.key, e.value);
    try {
        fs_->ReplaceFile(path_, next.ToBytes());
    } catch (const FileError&) {
        throw refused();
    }
    profile_ = std::move(next);
}

} // namespace vesmera
