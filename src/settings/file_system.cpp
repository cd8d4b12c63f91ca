#include "settings/file_system.h"

#include "settings/executable_dir.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
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

// The file a path names after all symbolic links. A link whose target does not exist yet
// names that target, so a first save creates it where the link points; a path that names
// nothing is its own.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    // The system's own limit on links in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        if (char* real = ::realpath(current.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf);
        if (n < 0)
            return current;
        const std::string link(buf, static_cast<std::size_t>(n));
        current = link.starts_with('/') ? link : DirectoryOf(current) + link;
    }
    throw FileError(ELOOP, SystemReason(ELOOP));
}

// The target opened for the in-place path; readable too where the user may read it, as that
// path keeps the old bytes to restore. FileError when the user may not write it.
int OpenForWriting(const std::string& target) {
    int fd;
    do
        fd = ::open(target.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EACCES) {
        do
            fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
    }
    if (fd < 0)
        ThrowErrno();
    return fd;
}

// The whole content from the start, whatever the descriptor's position.
std::string ReadAllAt(int fd) {
    std::string content;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        content.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, static_cast<off_t>(content.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowErrno();
        if (n == 0)
            return content;
        content.append(buf, static_cast<std::size_t>(n));
    }
}

// Puts the old bytes back after a failed in-place write. They go over blocks the file already
// had, so a full disk does not refuse them; if the system refuses anyway nothing more can be
// done here, and the caller reports the first error.
void Restore(int fd, std::string_view old) {
    for (std::size_t done = 0; done < old.size();) {
        const ssize_t n =
            ::pwrite(fd, old.data() + done, old.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(old.size())) == 0)
        ::fsync(fd);
}

bool RefusedByFolder(int errorNumber) {
    return errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS;
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
    return ReadAllAt(fd);
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
    Descriptor current(exists ? OpenForWriting(target) : -1);
    if (ReplaceByRename(target, exists ? &old : nullptr, bytes) == Outcome::NeedsInPlace)
        RewriteInPlace(current.Get(), bytes);
}

PosixFileSystem::Outcome PosixFileSystem::ReplaceByRename(const std::string& target,
                                                          const struct stat* old,
                                                          std::string_view bytes) {
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = TemporaryName(target);
        fd = CreateTemporary(temporary);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (fd < 0) {
        // A folder that takes no new file (the usual shared install) with a file the user may
        // write: the file is rewritten where it is.
        if (old != nullptr && RefusedByFolder(errno))
            return Outcome::NeedsInPlace;
        ThrowErrno();
    }
    try {
        {
            Descriptor file(fd);
            if (old != nullptr) {
                // The file keeps its owner and group: where the user may not give them to the
                // new file, the old one is rewritten instead.
                if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
                    ::unlink(temporary.c_str());
                    return Outcome::NeedsInPlace;
                }
                if (::fchmod(fd, old->st_mode & 07777) != 0)
                    ThrowErrno();
            }
            WriteAll(fd, bytes);
            if (SyncFile(fd) != 0)
                ThrowErrno();
        }
        if (RenameFile(temporary, target) != 0) {
            // A sticky folder lets the user write the file but not replace it.
            if (old != nullptr && RefusedByFolder(errno)) {
                ::unlink(temporary.c_str());
                return Outcome::NeedsInPlace;
            }
            ThrowErrno();
        }
    } catch (const FileError&) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (SyncDirectory(DirectoryOf(target)) != 0)
        ThrowErrno();
    return Outcome::Replaced;
}

// This path exists only where no other file can be made beside the target, so a crash in the
// middle of it is not covered: nothing could hold the other version. Every failure the system
// reports, a full disk above all, leaves the old content byte for byte: the space is reserved
// before the first byte is written, the file is cut only after the new content is in it, and
// the old bytes, kept in memory, are written back on any error.
void PosixFileSystem::RewriteInPlace(int fd, std::string_view bytes) {
    // A file the user may write but not read could not be restored.
    if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY)
        throw FileError(EACCES, SystemReason(EACCES));
    const std::string before = ReadAllAt(fd);
    try {
        if (bytes.size() > before.size() &&
            ReserveSpace(fd, static_cast<off_t>(bytes.size())) != 0 && errno != EOPNOTSUPP &&
            errno != EINVAL)
            ThrowErrno();
        if (::lseek(fd, 0, SEEK_SET) != 0)
            ThrowErrno();
        WriteAll(fd, bytes);
        if (bytes.size() < before.size() && Truncate(fd, static_cast<off_t>(bytes.size())) != 0)
            ThrowErrno();
        if (SyncFile(fd) != 0)
            ThrowErrno();
    } catch (const FileError&) {
        Restore(fd, before);
        throw;
    }
}

int PosixFileSystem::CreateTemporary(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

ssize_t PosixFileSystem::WriteSome(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}

int PosixFileSystem::ReserveSpace(int fd, off_t size) {
    // posix_fallocate gives its error as the result and leaves errno alone.
    const int r = ::posix_fallocate(fd, 0, size);
    if (r == 0)
        return 0;
    errno = r;
    return -1;
}

int PosixFileSystem::Truncate(int fd, off_t size) {
    return ::ftruncate(fd, size);
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
