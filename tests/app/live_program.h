#pragma once

// The real program on a private session bus, reading a simulated terminal on a
// pseudo-terminal that a thread of the test answers; for tests and benchmarks of what the
// program tells its bus clients.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "program_harness.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera::harness {

// A terminal at address 1 answering on its own thread, so the test's thread is free to run
// an event loop.
class AnsweringTerminal {
public:
    explicit AnsweringTerminal(SimProtocol protocol = SimProtocol::Vorlen);
    ~AnsweringTerminal();
    AnsweringTerminal(const AnsweringTerminal&) = delete;
    AnsweringTerminal& operator=(const AnsweringTerminal&) = delete;

    const std::string& Path() const { return line_.SlavePath(); }
    // "12.5": the weight the next replies carry.
    void SetWeight(const std::string& weight);
    void SetSilent(bool silent);
    int WeightRequests();
    int ZeroRequests();

private:
    void Answer();

    PtyMaster line_;
    std::mutex mutex_;
    SimTerminal terminal_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The executable in a folder of its own, in local mode on the answering terminal, with its
// automation server on the bus at `busAddress`; no window system is needed.
class LiveProgram {
public:
    LiveProgram(const std::string& executable, const std::string& busAddress,
                SimProtocol protocol = SimProtocol::Vorlen, int delayMs = 100);

    AnsweringTerminal& Terminal() { return terminal_; }
    ChildProcess& Process() { return *process_; }

private:
    AnsweringTerminal terminal_;
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace vesmera::harness
