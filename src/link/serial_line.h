#pragma once

#include <deque>
#include <functional>

#include "link/serial_exchange.h"

namespace vesmera {

// The one serial line and the order in which exchanges use it. Exchanges never interleave on
// the line. A poll tick that falls due while an exchange runs is held once and runs when the
// line is free; a further tick while one is held is dropped, so polls start at the later of
// the previous start plus the timer's interval and the end of the previous exchange. Zero
// commands and supervision ticks wait for the exchange in flight and run in arrival order.
class SerialLine {
public:
    struct Job {
        // Built when the exchange starts, from the settings of that moment.
        std::function<SerialScript()> script;
        // Runs just before the script starts (a "6.43" zero stops Timer5 here).
        std::function<void()> before;
        std::function<void(const SerialOutcome&)> ended;
        // A held poll runs only while this says yes (its timer may have stopped meanwhile).
        std::function<bool()> stillDue;
    };

    SerialLine(IScheduler& scheduler, ISerialChannel& channel);

    // A poll tick. False when it was dropped.
    bool Poll(Job job);
    // A zero command or supervision tick.
    void Queue(Job job);
    // Forgets a held poll tick (its timer has been stopped).
    void DropHeldPoll();

    bool Busy() const { return busy_; }

private:
    struct Entry {
        Job job;
        bool poll;
    };
    void Run(Job job);
    void Next();

    SerialExchange exchange_;
    std::deque<Entry> pending_;
    bool busy_ = false;
    bool pollHeld_ = false;
};

} // namespace vesmera
