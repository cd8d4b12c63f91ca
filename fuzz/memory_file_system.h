#pragma once

#include <map>
#include <string>
#include <string_view>

#include "settings/file_system.h"

namespace vesmera::fuzz {

// Files held in memory, so the readers run on fuzz bytes without touching the disk.
class MemoryFileSystem final : public IFileSystem {
public:
    std::map<std::string, std::string> files;

    std::string ReadFile(const std::string& path) override {
        const auto it = files.find(path);
        if (it == files.end())
            throw FileError(2, "No such file or directory");
        return it->second;
    }
    void ReplaceFile(const std::string& path, std::string_view bytes) override {
        files[path] = std::string(bytes);
    }
};

} // namespace vesmera::fuzz
