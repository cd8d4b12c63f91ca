#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace vesmera::testing {

ChildProcess::ChildProcess(std::vector<std::string> argv, int errorFd,
                           std::vector<std::string> extraEnvironment) {
    int in[2], out[2], err[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    if (errorFd >= 0) {
        ::close(err[1]);
        err[1] = ::fcntl(errorFd, F_DUPFD_CLOEXEC, 0);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    for (auto& e : extraEnvironment)
        env.push_back(e.data());
    env.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (!waited_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    ::close(in_);
    ::close(out_);
    ::close(err_);
}

void ChildProcess::Input(const std::string& line) {
    const std::string bytes = line + "\n";
    EXPECT_EQ(::write(in_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string ChildProcess::NextLine(int fd, std::string& pending) {
    for (;;) {
        const auto lf = pending.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending.substr(0, lf);
            pending.erase(0, lf + 1);
            return line;
        }
        pollfd p{fd, POLLIN, 0};
        char bytes[4096];
        const ssize_t n = ::poll(&p, 1, kChildCapMs) > 0 ? ::read(fd, bytes, sizeof bytes) : -1;
        if (n <= 0) {
            ADD_FAILURE() << "no more lines from the child";
            return {};
        }
        pending.append(bytes, static_cast<std::size_t>(n));
    }
}

bool ChildProcess::ErrorLineWith(const std::string& part) {
    for (int i = 0; i < 100; ++i) {
        const std::string line = ErrorLine();
        if (line.find(part) != std::string::npos)
            return true;
        if (line.empty() && errPending_.empty())
            return false;
    }
    return false;
}

void ChildProcess::Signal(int signal) {
    ::kill(pid_, signal);
}

int ChildProcess::Wait() {
    if (!waited_) {
        ::waitpid(pid_, &status_, 0);
        waited_ = true;
    }
    return status_;
}

std::string ChildProcess::AllErrors() {
    std::string all = errPending_;
    errPending_.clear();
    char bytes[4096];
    for (ssize_t n; (n = ::read(err_, bytes, sizeof bytes)) > 0;)
        all.append(bytes, static_cast<std::size_t>(n));
    return all;
}

} // namespace vesmera::testing
