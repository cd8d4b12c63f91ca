#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status_codes.h"
#include "link/shared_weight.h"

namespace vesmera {

// What a terminal's reading says, as every interface of the server names it.
enum class ReadingStatus { Starting, Stable, Unstable, Overload, LinkLost, PortError };

inline constexpr std::array<ReadingStatus, 6> kReadingStatuses = {
    ReadingStatus::Starting, ReadingStatus::Stable,   ReadingStatus::Unstable,
    ReadingStatus::Overload, ReadingStatus::LinkLost, ReadingStatus::PortError};

// "starting", "stable", "unstable", "overload", "link_lost", "port_error".
std::string_view StatusName(ReadingStatus status);

// Whether the terminal answers its polls: a weight, or an overload it reports itself.
constexpr bool IsLinked(ReadingStatus status) {
    return status == ReadingStatus::Stable || status == ReadingStatus::Unstable ||
           status == ReadingStatus::Overload;
}

// When a terminal last answered a poll: the wall clock for clients, the loop's steady clock
// for how old the answer is (the wall clock may be set back while the server runs).
struct AnswerTime {
    std::int64_t wallMs = 0;
    std::int64_t steadyMs = 0;

    bool operator==(const AnswerTime&) const = default;
};

// One terminal's reading: the single value that the line protocol, the HTTP JSON and the event
// streams all render. A weight exists only while the terminal reports one; a terminal without a
// weight has no value, never a value of 0.
struct Reading {
    std::string terminal;
    std::uint64_t seq = 0; // 0 while starting; one more at each change of status or value
    ReadingStatus status = ReadingStatus::Starting;
    std::int32_t code = kStatusUnstable; // the status line a poll is answered with
    std::optional<double> value;         // only while stable or unstable
    std::optional<std::string> text;     // the value with the configured decimal separator
    std::optional<AnswerTime> answered;  // none before the first answer

    // The weight line a poll is answered with: the weight, or the code value in its place.
    std::string WeightLine() const;
    bool operator==(const Reading&) const = default;
};

// The one place where a terminal's link state becomes a reading (seq left at 0). A link
// reports overload and link loss with the same weight code; the failure count tells them apart.
Reading BuildReading(std::string terminal, const SharedWeightState& state,
                     std::optional<AnswerTime> answered, char decimalSeparator);

// One terminal's current reading and its sequence: seq counts changes of status or value and
// never goes back; a newer answer time alone refreshes the reading without counting.
class ReadingTracker {
public:
    explicit ReadingTracker(Reading initial) : current_(std::move(initial)) {}

    // True when the status or the value changed.
    bool Update(Reading next);
    const Reading& Current() const { return current_; }
    // The reading stands for one whose seq was `seq`: it becomes one change after it.
    void ContinueAfter(std::uint64_t seq) { current_.seq = seq + 1; }

private:
    Reading current_;
};

using ReadingListener = std::function<void(const Reading&)>;

// Listeners of reading changes, called on the loop at each change, in the order they
// subscribed. A listener may unsubscribe itself or others while being called; those not yet
// called are then skipped.
class ReadingSubscribers {
public:
    // Ends its listener's calls when destroyed or reset; may outlive the subscribers.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept {
            if (this != &other) {
                Reset();
                registry_ = std::move(other.registry_);
                id_ = other.id_;
            }
            return *this;
        }
        ~Subscription() { Reset(); }
        void Reset();

    private:
        friend class ReadingSubscribers;
        struct Registry;
        std::weak_ptr<Registry> registry_;
        std::uint64_t id_ = 0;
    };

    ReadingSubscribers();
    Subscription Subscribe(ReadingListener listener);
    void Publish(const Reading& reading) const;
    std::size_t Count() const;

private:
    std::shared_ptr<Subscription::Registry> registry_;
};

using ReadingSubscription = ReadingSubscribers::Subscription;

// How often a terminal's polls ended each way, for the metrics.
struct PollCounts {
    std::uint64_t ok = 0;
    std::uint64_t failed = 0;
};

// The terminals as the network interfaces other than the line protocol see them.
class ITerminalReadings {
public:
    virtual ~ITerminalReadings() = default;
    // Every terminal's reading, in the order of the configuration.
    virtual std::vector<Reading> Readings() const = 0;
    // Nothing for a name the server does not know (names match exactly).
    virtual std::optional<Reading> ReadingOf(std::string_view name) const = 0;
    // Queues the terminal's zero request (one pending at a time); false for an unknown name.
    virtual bool Zero(std::string_view name) = 0;
    virtual ReadingSubscription Subscribe(ReadingListener listener) = 0;
    virtual std::vector<PollCounts> Polls() const = 0; // in configuration order
};

// The wall clock of answer times, in milliseconds since the epoch; tests pass their own.
using WallClock = std::function<std::int64_t()>;
std::int64_t SystemWallMs();

} // namespace vesmera
