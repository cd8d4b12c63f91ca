#include "settings/folder_making_file_system.h"

#include <cerrno>
#include <sys/stat.h>

#include "settings/executable_dir.h"

namespace vesmera {

void MakeFolders(const std::string& folder) {
    // Each prefix ending before a '/' in turn, the whole path last; an existing one is passed
    // over, and a file in the way shows up when the replacement cannot open its temporary file.
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string prefix = folder.substr(0, end);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            const int e = errno;
            throw FileError(e, SystemReason(e));
        }
        if (end == std::string::npos)
            return;
    }
}

void FolderMakingFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
    MakeFolders(DirectoryOf(path));
    inner_->ReplaceFile(path, bytes);
}

} // namespace vesmera
