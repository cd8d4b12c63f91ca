#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vesmera::testing {

// A program of the build run as a child with its standard streams on pipes. Waits for output
// are capped, so a fault fails the test instead of hanging it; the child is killed if the test
// ends before it.
class ChildProcess {
public:
    // With errorFd, the child's standard error is that descriptor (kept open by the caller)
    // instead of a pipe to this object; ErrorLine and AllErrors have nothing to read then.
    // extraEnvironment: "NAME=value" entries added to this process's environment.
    explicit ChildProcess(std::vector<std::string> argv, int errorFd = -1,
                          std::vector<std::string> extraEnvironment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Input(const std::string& line);
    // The next line of standard output or standard error; empty with a failure when none comes.
    std::string OutputLine() { return NextLine(out_, outPending_); }
    std::string ErrorLine() { return NextLine(err_, errPending_); }
    // Skips standard-error lines until one holds `part`; false when none does.
    bool ErrorLineWith(const std::string& part);
    void Signal(int signal);
    // The exit status (as waitpid gives it) once the child has ended.
    int Wait();
    // Everything the child wrote to standard error until it ended, for children that end
    // by themselves.
    std::string AllErrors();

private:
    std::string NextLine(int fd, std::string& pending);

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    std::string outPending_, errPending_;
    bool waited_ = false;
    int status_ = 0;
};

inline constexpr int kChildCapMs = 10000;

} // namespace vesmera::testing
