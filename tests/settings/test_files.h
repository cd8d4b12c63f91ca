#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "settings/file_system.h"

namespace vesmera::testing_files {

// A fresh directory per test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vesmera-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string Dir() const { return path_.string() + "/"; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path_),
                                                      std::filesystem::directory_iterator()));
    }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files in memory; the replacement number `failAt` (counting from 1) and every later one is
// refused, and reads can be refused with a given errno.
class MemoryFileSystem : public IFileSystem {
public:
    std::map<std::string, std::string> files;
    int failAt = 0;
    int readErrno = 0;
    int replacements = 0;

    std::string ReadFile(const std::string& path) override {
        if (readErrno != 0)
            throw FileError(readErrno, SystemReason(readErrno));
        const auto it = files.find(path);
        if (it == files.end())
            throw FileError(ENOENT, SystemReason(ENOENT));
        return it->second;
    }
    void ReplaceFile(const std::string& path, std::string_view bytes) override {
        ++replacements;
        if (failAt != 0 && replacements >= failAt)
            throw FileError(ENOSPC, SystemReason(ENOSPC));
        files[path] = std::string(bytes);
    }
};

} // namespace vesmera::testing_files
