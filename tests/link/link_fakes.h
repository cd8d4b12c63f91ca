#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/exception.h"
#include "common/poll_reading.h"
#include "common/shown_messages.h"
#include "common/views.h"
#include "link/serial_channel.h"
#include "link/serial_link.h"
#include "support/fake_scheduler.h"
#include "terminal-sim/sim_terminal.h"

namespace vesmera::testing {

// One line per call the link logic makes on its fakes, in order: "open", "close",
// "write <hex>", "read <count>"; with a clock, each begins with the time in ms ("100 read 10").
using CallLog = std::vector<std::string>;

inline std::string Hex(const std::string& bytes) {
    return SpacedHex(bytes);
}

inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// Arbitrary bytes of a length from 0 to maxLength, for replies no terminal would send.
inline std::string RandomBytes(std::mt19937& random, std::size_t maxLength) {
    std::string out(std::uniform_int_distribution<std::size_t>(0, maxLength)(random), '\0');
    for (auto& c : out)
        c = static_cast<char>(random());
    return out;
}

// A serial port in memory. Bytes "arrive" by Arrive() or through the responder, which sees
// every write and may answer it, as a terminal on the line would.
class FakeChannel final : public ISerialChannel {
public:
    explicit FakeChannel(CallLog* log = nullptr) : log_(log) {}

    void Open() override {
        Note("open");
        if (failOpen)
            throw Exception("Unable to open com port (Error: 2)");
        open = true;
    }
    void Close() override {
        Note("close");
        if (failClose)
            throw Exception("PurgeComm function failed (Error: 5)");
        open = false;
    }
    void ReleaseDevice() override {
        Note("release");
        open = false;
    }
    bool Connected() const override { return open; }
    int WriteStr(const std::string& bytes) override {
        Note("write " + Hex(bytes));
        if (!open)
            throw Exception("Port Not Open");
        if (failWrite || ++transfers_ == failTransfer)
            throw Exception("WriteFile function failed (Error: 5)");
        written.push_back(bytes);
        if (responder)
            Arrive(responder(bytes));
        return static_cast<int>(bytes.size());
    }
    int ReadStr(std::string& bytes, int count) override {
        Note("read " + std::to_string(count));
        bytes.clear();
        if (count <= 0)
            return 0;
        if (!open)
            throw Exception("Port Not Open");
        if (failRead || ++transfers_ == failTransfer)
            throw Exception("ReadFile function failed (Error: 5)");
        const auto n = std::min(static_cast<std::size_t>(count), queue_.size());
        bytes.assign(queue_, 0, n);
        queue_.erase(0, n);
        return static_cast<int>(n);
    }

    std::uint32_t DrainMs() override {
        if (drains.empty())
            return 0;
        const std::uint32_t ms = drains.front();
        drains.erase(drains.begin());
        Note("drain " + std::to_string(ms));
        return ms;
    }

    void Arrive(const std::string& bytes) { queue_ += bytes; }
    const std::string& Queued() const { return queue_; }

    bool open = true;
    bool failOpen = false;
    bool failClose = false;
    bool failWrite = false;
    bool failRead = false;
    int failTransfer = 0;              // the n-th write or read (from 1) fails; 0: none
    std::vector<std::uint32_t> drains; // what DrainMs answers, one value per call, then 0
    const IScheduler* clock = nullptr;
    std::vector<std::string> written;
    std::function<std::string(const std::string&)> responder;

private:
    void Note(const std::string& line) {
        if (log_)
            log_->push_back(clock ? std::to_string(clock->NowMs()) + " " + line : line);
    }

    CallLog* log_;
    int transfers_ = 0;
    std::string queue_;
};

class FakeIndicator final : public IIndicatorView {
public:
    void SetIndicatorString(const std::string& value) override {
        text = value;
        ++textWrites;
    }
    std::string IndicatorString() const { return text; }
    void SetNumberForeColor(TColor value) override { color = value; }
    void SetVisible(bool value) override { visible = value; }
    bool IsVisible() const { return visible; }

    std::string text;
    int textWrites = 0;
    std::optional<TColor> color;
    bool visible = true;
};

class FakeMessage final : public IMessageView {
public:
    void SetText(const std::string& value) override { text = value; }
    std::string Text() const { return text; }
    void SetVisible(bool value) override { visible = value; }
    bool IsVisible() const { return visible; }

    std::string text;
    bool visible = false;
};

class FakeTimer final : public ITimerSwitch {
public:
    explicit FakeTimer(bool on = false) : enabled(on) {}
    void SetEnabled(bool value) override {
        enabled = value;
        history.push_back(value);
    }
    bool IsEnabled() const override { return enabled; }
    bool enabled;
    std::vector<bool> history;
};

// The serial link of one line with fakes all around it: the clock moves only when the test
// runs the scheduler.
struct LinkRig {
    explicit LinkRig(ISerialChannel& channel, char separator = ',')
        : link(scheduler, channel, settings, state, separator, timer1, timer5) {
        // What the main window does with each reading: the display and the failure report.
        link.SetEndListener([this](SerialLink::Ending ending, const PollReading& reading) {
            RenderReading(reading, indicator, message);
            ReportReading(reading, failures);
            if (heard)
                heard(ending, reading);
        });
    }

    // Runs the exchanges' timers until the line is free. beforeStep runs before each timer
    // (a terminal answering during the delay).
    void Finish(const std::function<void()>& beforeStep = {}) {
        while (link.Busy()) {
            if (beforeStep)
                beforeStep();
            if (!scheduler.RunNextTimer())
                break;
        }
    }

    FakeScheduler scheduler;
    HeldSettings settings;
    SharedWeightState state;
    FakeIndicator indicator;
    FakeMessage message;
    FakeTimer timer1{true};
    FakeTimer timer5{true};
    FailureReport failures;
    SerialLink::EndListener heard; // told of each reading after it is shown
    SerialLink link;
};

} // namespace vesmera::testing
