#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vesmera {

// SIGTERM and SIGINT (a service manager stopping the program, Ctrl+C in its terminal) end the
// program through its ordinary exit path instead of killing it on the spot: the handler only
// writes a byte to a pipe, and the event loop runs `end` when it reads it. So the windows and
// the serial port are closed as after "Выход", and a pseudo-terminal is not left with its
// exclusive flag set. A second signal while the first is handled kills the program at once.
//
// One object at a time; throws Exception when the pipe or a handler cannot be set up.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void()> end);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void Received();

    std::function<void()> end_;
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace vesmera
