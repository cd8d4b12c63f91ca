#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

#include "common/exception.h"

namespace vesmera {

// A file operation the system refused. The message is the system's reason (strerror text);
// callers put it into their own texts.
class FileError : public Exception {
public:
    FileError(int errorNumber, const std::string& reason)
        : Exception(reason), errorNumber_(errorNumber) {}
    int ErrorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

// The system's reason for an errno value.
std::string SystemReason(int errorNumber);

// The settings and terminal list files go through this, so tests can refuse any step.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // The whole content; FileError when the file cannot be opened or read.
    virtual std::string ReadFile(const std::string& path) = 0;
    // Replaces the file so that it holds either its old content or `bytes`, whatever happens
    // to the process or the power; FileError when any step is refused (the old file is then
    // untouched).
    virtual void ReplaceFile(const std::string& path, std::string_view bytes) = 0;
};

// POSIX files. A replacement writes a temporary file beside the target, syncs it, renames it
// over the target and syncs the directory, so the rename is durable too. Links are followed to
// the file they name, also to one that does not exist yet; a target the user may not write is
// refused. Where the folder takes no temporary file, the rename is refused (a sticky shared
// folder) or the replacement would change the file's owner or group, the target is rewritten
// in place: the new content is written over the old before anything is cut, and on any error
// the old bytes are written back. Each step is a virtual call, so tests can make exactly one
// of them fail on a real disk.
class PosixFileSystem : public IFileSystem {
public:
    std::string ReadFile(const std::string& path) override;
    void ReplaceFile(const std::string& path, std::string_view bytes) override;

protected:
    // System-call shaped: -1 with errno set on failure.
    virtual int CreateTemporary(const std::string& path);
    virtual ssize_t WriteSome(int fd, const char* data, size_t size);
    virtual int ReserveSpace(int fd, off_t size);
    virtual int Truncate(int fd, off_t size);
    virtual int SyncFile(int fd);
    virtual int RenameFile(const std::string& from, const std::string& to);
    virtual int SyncDirectory(const std::string& directory);

private:
    enum class Outcome { Replaced, NeedsInPlace };
    Outcome ReplaceByRename(const std::string& target, const struct stat* old,
                            std::string_view bytes);
    void WriteAll(int fd, std::string_view bytes);
    void RewriteInPlace(int fd, std::string_view bytes);
};

// The process-wide real file system.
IFileSystem& RealFileSystem();

} // namespace vesmera
