#include "program_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include <QByteArray>
#include <QProcess>

namespace vesmera::harness {

namespace {

long ParseLong(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    long value = -1;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Waits for a child to end for at most `limit`; the status when it did.
std::optional<int> WaitFor(int pid, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    do {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < until);
    return std::nullopt;
}

int EndProcess(int pid) {
    kill(pid, SIGTERM);
    if (auto status = WaitFor(pid, std::chrono::seconds(3))) {
        return *status;
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

} // namespace

PtyMaster::PtyMaster() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        Fail("posix_openpt");
    }
    slavePath_ = ptsname(master_);
    slaveKeeper_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slaveKeeper_ < 0) {
        Fail("open " + slavePath_);
    }
    termios raw{};
    tcgetattr(slaveKeeper_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slaveKeeper_, TCSANOW, &raw);
}

PtyMaster::~PtyMaster() {
    close(slaveKeeper_);
    close(master_);
}

std::string PtyMaster::Read(std::chrono::milliseconds timeout) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
        return {};
    }
    char buffer[512];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

void PtyMaster::Write(const std::string& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        Fail("write to pty");
    }
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& extraEnvironment,
                           const std::string& workDir, bool quiet) {
    pid_ = fork();
    if (pid_ < 0) {
        Fail("fork");
    }
    if (pid_ == 0) {
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) {
            _exit(127);
        }
        for (const std::string& assignment : extraEnvironment) {
            putenv(const_cast<char*>(assignment.c_str()));
        }
        if (quiet) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Running() {
    if (status_) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        return false;
    }
    return true;
}

int ChildProcess::Stop() {
    if (!status_ && pid_ > 0) {
        status_ = Running() ? EndProcess(pid_) : status_.value_or(0);
    }
    return status_.value_or(0);
}

std::optional<XServer> XServer::Start(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) {
        return std::nullopt;
    }
    const int pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    XServer server;
    server.pid_ = pid;
    pollfd p{fds[0], POLLIN, 0};
    std::string number;
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < until && number.find('\n') == std::string::npos) {
        if (poll(&p, 1, 100) > 0) {
            char c[16];
            const ssize_t n = read(fds[0], c, sizeof c);
            if (n <= 0) {
                break;
            }
            number.append(c, static_cast<std::size_t>(n));
        }
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        return std::nullopt; // the destructor ends the server
    }
    server.display_ = ":" + number.substr(0, number.find('\n'));
    return server;
}

XServer::XServer(XServer&& other) noexcept : pid_(other.pid_), display_(std::move(other.display_)) {
    other.pid_ = -1;
}

XServer::~XServer() {
    if (pid_ > 0) {
        EndProcess(pid_);
    }
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vesmera-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        Fail("mkdtemp");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempFolder::WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << content;
}

void TempFolder::CopyExecutable(const std::string& from, const std::string& name) const {
    std::filesystem::copy_file(from, path_ + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
}

QImage Screenshot(const std::string& display) {
    QProcess import;
    import.start("import",
                 {"-display", QString::fromStdString(display), "-window", "root", "png:-"});
    if (!import.waitForFinished(15000) || import.exitCode() != 0) {
        return {};
    }
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

int CountPixels(const QImage& image, const QRect& area, QColor color, int tolerance) {
    int count = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) <= tolerance &&
                std::abs(c.green() - color.green()) <= tolerance &&
                std::abs(c.blue() - color.blue()) <= tolerance) {
                ++count;
            }
        }
    }
    return count;
}

long ResidentKilobytes(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return ParseLong(std::string_view(line).substr(6));
        }
    }
    return -1;
}

long CpuTicks(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name in brackets, blank separated: state is field 3, utime 14
    // and stime 15.
    const std::size_t close = all.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::string_view rest = std::string_view(all).substr(close + 2);
    long ticks = 0;
    for (int field = 3; field <= 15 && !rest.empty(); ++field) {
        const std::size_t blank = rest.find(' ');
        if (field >= 14) {
            ticks += ParseLong(rest.substr(0, blank));
        }
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    }
    return ticks;
}

std::string ProgramUnderTest(const std::string& built) {
    const char* other = std::getenv("VESMERA_BENCH_PROGRAM");
    return other && *other ? other : built;
}

std::string LocalSettings(const std::string& port, const std::string& protocol, int delayMs) {
    return "[Настройки порта]\r\nПорт=" + port +
           "\r\nСкорость обмена=19200\r\nКанал=1\r\n[Общие]\r\nЗадержка(мск)=" +
           std::to_string(delayMs) +
           "\r\nСкин=Cold\r\nЦвет1=clRed\r\nЦвет2=clGreen\r\nФон=clBlack\r\nIP=\r\nPort=0\r\n"
           "Сетевой режим=0\r\nПротокол=" +
           protocol + "\r\n";
}

} // namespace vesmera::harness
