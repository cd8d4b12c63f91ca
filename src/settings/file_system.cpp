#include "settings/file_system.h"

#include <atomic>
#include <cerrno>
#include <charconv>
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

std::string DirectoryPart(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

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
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = TemporaryName(path);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR)
            ThrowErrno();
    }
    if (fd < 0)
        ThrowErrno();
    try {
        {
            Descriptor file(fd);
            // The replacement keeps the permissions the user gave the old file.
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0)
                ::fchmod(fd, st.st_mode & 07777);
            WriteAll(fd, bytes);
            if (SyncFile(fd) != 0)
                ThrowErrno();
        }
        if (RenameFile(temporary, path) != 0)
            ThrowErrno();
    } catch (const FileError&) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (SyncDirectory(DirectoryPart(path)) != 0)
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
