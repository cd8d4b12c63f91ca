#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/scheduler.h"
#include "link/serial_channel.h"

namespace vesmera {

// One step of an exchange on the serial line. Only a wait takes time, and it is a timer: the
// thread serves other events until it runs out.
struct SerialStep {
    enum class Kind { Open, Write, Wait, Read };

    static SerialStep Open() { return {Kind::Open, {}, 0, 0, false}; }
    static SerialStep Write(std::string bytes) {
        return {Kind::Write, std::move(bytes), 0, 0, false};
    }
    static SerialStep Wait(std::uint32_t ms) { return {Kind::Wait, {}, ms, 0, false}; }
    // Takes at most count bytes that have arrived; the kept ones are the exchange's reply.
    static SerialStep Read(int count) { return {Kind::Read, {}, 0, count, true}; }
    static SerialStep Drop(int count) { return {Kind::Read, {}, 0, count, false}; }

    Kind kind;
    std::string bytes;
    std::uint32_t ms = 0;
    int count = 0;
    bool keep = false;

    bool operator==(const SerialStep&) const = default;
};

using SerialScript = std::vector<SerialStep>;

// How long a script waits in all, a write's line time aside.
std::int64_t WaitMs(const SerialScript& script);

// How an exchange ended: the reply its kept read took (empty when none ran), and the channel's
// message when a step failed, which skips the steps after it.
struct SerialOutcome {
    std::string reply;
    std::optional<std::string> failure;

    bool Failed() const { return failure.has_value(); }
};

// Runs one script at a time on the channel. Open, write and read steps run at once (none of
// them waits); a wait, and a write's drain time, arm a timer and return to the event loop, and
// the next step runs from that timer (a write followed by a wait arms one timer for both). So the
// thread that owns the scheduler never blocks on the line, while the line sees the same bytes at
// the same pace as with a sleeping thread.
class SerialExchange {
public:
    using Done = std::function<void(const SerialOutcome&)>;

    SerialExchange(IScheduler& scheduler, ISerialChannel& channel);

    // Starts the script; done runs when it ends. A script without waits ends, and calls done,
    // before Start returns. done may start the next script.
    void Start(SerialScript script, Done done);
    bool Running() const { return running_; }

private:
    void Continue();
    void Wait(std::uint32_t ms);
    void Drain(std::uint32_t ms);
    void Finish(std::optional<std::string> failure);

    IScheduler& scheduler_;
    ISerialChannel& channel_;
    ScheduledTask timer_;
    SerialScript script_;
    std::size_t next_ = 0;
    SerialOutcome outcome_;
    Done done_;
    bool running_ = false;
};

} // namespace vesmera
