#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vesmera {

// The two clocks of a live reading: steady milliseconds to judge how old the last good poll
// is, and wall-clock milliseconds since the epoch to stamp a change for clients.
class IReadingClock {
public:
    virtual ~IReadingClock() = default;
    virtual std::int64_t SteadyMs() = 0;
    virtual std::int64_t WallMs() = 0;
};

class SystemReadingClock final : public IReadingClock {
public:
    std::int64_t SteadyMs() override;
    std::int64_t WallMs() override;
};

// What the main window shows at one moment: the weight and status behind the display, the
// text of the indicator or of the message screen, and whether a message replaces the weight.
struct ShownReading {
    double weight = 0;
    std::int32_t status = 0;
    std::string text;
    bool message = false;

    bool operator==(const ShownReading&) const = default;
};

// One change as clients receive it.
struct ReadingChange {
    double weight = 0;
    std::int32_t status = 0;
    std::string text;
    std::int64_t timeMs = 0;    // wall clock of the change
    std::uint64_t sequence = 0; // 1 for the first change of the process
};

// The reading pushed to other programs: the window reports what it shows after every poll
// tick, and each report that differs from the last one is one change. A client also asks
// whether the reading is fresh: no message in place of the weight, and a successful poll
// within three poll periods (at least a second).
class LiveReading {
public:
    using Listener = std::function<void(const ReadingChange&)>;

    explicit LiveReading(IReadingClock& clock) : clock_(clock) {}

    void SetListener(Listener listener) { listener_ = std::move(listener); }
    // Where the selected terminal's name comes from; none means local mode.
    void SetTerminalSource(std::function<std::string()> source) { terminal_ = std::move(source); }

    void PollSucceeded();
    // The period of the polls now running, as the protocol and the delay make it.
    void SetPollPeriod(std::int64_t ms) { pollPeriodMs_ = ms; }
    // Reported after every tick; gives one change when what is shown differs.
    void Observe(const ShownReading& shown);

    const ReadingChange& Last() const { return last_; }
    bool Fresh();
    std::string Terminal() const { return terminal_ ? terminal_() : std::string(); }
    std::int64_t StaleAfterMs() const;

private:
    IReadingClock& clock_;
    Listener listener_;
    std::function<std::string()> terminal_;
    ShownReading shown_;
    bool observed_ = false;
    ReadingChange last_;
    std::int64_t pollPeriodMs_ = 100;
    std::int64_t lastSuccessMs_ = 0;
    bool succeeded_ = false;
};

} // namespace vesmera
