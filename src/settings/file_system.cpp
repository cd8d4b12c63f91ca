#include "settings/file_system.h"

#include "settings/executable_dir.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesmera {

namespace {

[[noreturn]] void ThrowErrno() {
    const int e = errno;
    throw FileError(e, SystemReason(e));
}

// Closes the descriptor on every path out; the error of a close is not a write error here,
// as the data was synced before.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

std::string Number(long value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// A name beside the target that no other writer, thread or process, picks at the same time.
std::string TemporaryName(const std::string& path) {
    static std::atomic<long> counter{0};
    return path + ".~" + Number(static_cast<long>(::getpid())) + "-" + Number(++counter);
}

// The file a path names after all symbolic links; a path that names nothing (yet) is its own.
std::string FollowLinks(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

} // namespace

std::string SystemReason(int errorNumber) {
    char buf[256];
    // The GNU form: returns the text, which may or may not be in buf.
    return ::strerror_r(errorNumber, buf, sizeof buf);
}

std::string PosixFileSystem::ReadFile(const std::string& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        ThrowErrno();
    Descriptor file(fd);
    std::string content;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        content.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowErrno();
        if (n == 0)
            return content;
        content.append(buf, static_cast<std::size_t>(n));
    }
}

void PosixFileSystem::WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = WriteSome(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowErrno();
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void PosixFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
    // A link is followed: the file it names is replaced in its own folder and the link stays.
    const std::string target = FollowLinks(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // A file the user may not write is refused and left alone, even where the folder would let
    // a rename replace it.
    int writable = -1;
    if (exists) {
        do
            writable = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        while (writable < 0 && errno == EINTR);
        if (writable < 0)
            ThrowErrno();
    }
    Descriptor inPlace(writable);

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = TemporaryName(target);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (fd < 0) {
        // A folder that takes no new file (the usual shared install) with a file the user may
        // write: the file is rewritten where it is.
        if (exists && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            RewriteInPlace(inPlace.Get(), bytes);
            return;
        }
        ThrowErrno();
    }
    try {
        {
            Descriptor file(fd);
            if (exists) {
                // The replacement keeps the old file's owner and mode where the user may give
                // them; a user who may not keeps the file as their own.
                [[maybe_unused]] const int kept = ::fchown(fd, old.st_uid, old.st_gid);
                ::fchmod(fd, old.st_mode & 07777);
            }
            WriteAll(fd, bytes);
            if (SyncFile(fd) != 0)
                ThrowErrno();
        }
        if (RenameFile(temporary, target) != 0)
            ThrowErrno();
    } catch (const FileError&) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (SyncDirectory(DirectoryOf(target)) != 0)
        ThrowErrno();
}

void PosixFileSystem::RewriteInPlace(int fd, std::string_view bytes) {
    if (::ftruncate(fd, 0) != 0)
        ThrowErrno();
    WriteAll(fd, bytes);
    if (SyncFile(fd) != 0)
        ThrowErrno();
}

ssize_t PosixFileSystem::WriteSome(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}

int PosixFileSystem::SyncFile(int fd) {
    return ::fsync(fd);
}

int PosixFileSystem::RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str());
}

int PosixFileSystem::SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    Descriptor dir(fd);
    const int r = ::fsync(fd);
    // Some file systems cannot sync a directory at all; the rename is then as durable as
    // they make it.
    if (r != 0 && errno == EINVAL)
        return 0;
    return r;
}

IFileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

} // namespace vesmera
