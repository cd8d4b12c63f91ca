#include "server/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/exception.h"
#include "settings/executable_dir.h"
#include "settings/file_system.h"

namespace vesmera {

namespace {

constexpr off_t kMaxSecretBytes = 1024 * 1024;

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw Exception("secret file " + path + " " + why);
}

[[noreturn]] void RefuseErrno(const std::string& path) {
    Refuse(path, "cannot be read: " + SystemReason(errno));
}

} // namespace

std::string SecretFilePath(std::string_view name, std::string_view configPath,
                           std::string_view credentialsDirectory) {
    if (name.empty())
        throw Exception("a secret file is named by an empty value");
    if (name.front() == '/')
        return std::string(name);
    if (!credentialsDirectory.empty()) {
        std::string path(credentialsDirectory);
        if (path.back() != '/')
            path += '/';
        return path + std::string(name);
    }
    return DirectoryOf(configPath) + std::string(name);
}

std::string CredentialsDirectory() {
    const char* dir = std::getenv("CREDENTIALS_DIRECTORY");
    return dir ? dir : "";
}

std::string ReadSecretFile(const std::string& path, SecretForm form) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        RefuseErrno(path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        RefuseErrno(path);
    if (!S_ISREG(info.st_mode))
        Refuse(path, "is not a regular file");
    // Checked on the file opened, so a file swapped in between cannot slip past.
    if (info.st_mode & S_IROTH)
        Refuse(path, "is readable by every user: make it 0600 or 0640 (chmod o-r), or hand it "
                     "to the service as a systemd credential");
    if (info.st_size > kMaxSecretBytes)
        Refuse(path, "is larger than 1 MiB");

    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            RefuseErrno(path);
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        // A file that grows while it is read is still held to the limit.
        if (static_cast<off_t>(bytes.size()) > kMaxSecretBytes)
            Refuse(path, "is larger than 1 MiB");
    }
    if (form == SecretForm::kLine) {
        if (bytes.ends_with('\n'))
            bytes.pop_back();
        if (bytes.ends_with('\r'))
            bytes.pop_back();
        if (bytes.find_first_of("\r\n") != std::string::npos)
            Refuse(path, "holds more than one line");
        // A C library given the secret would stop at the NUL and use less than was written.
        if (bytes.find('\0') != std::string::npos)
            Refuse(path, "holds a NUL byte");
    }
    if (bytes.empty())
        Refuse(path, "is empty");
    return bytes;
}

} // namespace vesmera
