#pragma once

#include <string>
#include <string_view>

#include "settings/file_system.h"

namespace vesmera {

// Creates the missing folders of a path, each readable by its owner alone (mode 0700), as the
// base directory rules ask for a user's config folder. FileError with the system's reason when
// one cannot be made; folders made before it stay.
void MakeFolders(const std::string& folder);

// Another file system whose replacements first create the target's missing folders, so that a
// first save into a folder that does not exist yet succeeds. Reads are passed on unchanged.
class FolderMakingFileSystem final : public IFileSystem {
public:
    explicit FolderMakingFileSystem(IFileSystem& inner) : inner_(&inner) {}

    std::string ReadFile(const std::string& path) override { return inner_->ReadFile(path); }
    void ReplaceFile(const std::string& path, std::string_view bytes) override;

private:
    IFileSystem* inner_;
};

} // namespace vesmera
