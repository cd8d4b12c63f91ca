#pragma once

// What the benchmarks that run the real server as a child need of it: the child itself, its
// CPU time and its resident memory, from /proc.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// A child process with its standard input and output on pipes and its standard error on errFd
// (or /dev/null), or in the file errorsPath; stopped and reaped at the end.
class Child {
public:
    explicit Child(std::vector<std::string> argv, int errFd = -1) { Spawn(std::move(argv), errFd); }
    Child(std::vector<std::string> argv, const std::string& errorsPath) {
        const int fd = ::open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            std::abort();
        Spawn(std::move(argv), fd);
        ::close(fd);
    }
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() {
        Stop();
        if (out_ >= 0)
            ::close(out_);
        if (in_ >= 0)
            ::close(in_);
    }
    // Sends the signal and reaps the child; later calls do nothing.
    void Stop(int signal = SIGTERM) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    // One line to the child's standard input.
    void Input(const std::string& line) {
        const std::string bytes = line + "\n";
        if (::write(in_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::abort();
    }
    std::string Line() {
        std::string line;
        char c;
        pollfd p{out_, POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0 && ::read(out_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    pid_t Pid() const { return pid_; }

private:
    void Spawn(std::vector<std::string> argv, int errFd) {
        int out[2], in[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
            std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (errFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, errFd, 2);
        else
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0)
            std::abort();
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(in[0]);
        out_ = out[0];
        in_ = in[1];
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
};

// User + system time of a process, in ms.
inline double CpuMs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

inline double RssMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// 127.0.0.1:port, for bind and connect.
inline sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

} // namespace bench
