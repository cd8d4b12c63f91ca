#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "common/scheduler.h"
#include "link/scheduled_timer.h"
#include "server/http/http_api.h"
#include "server/http/metrics.h"
#include "server/reading.h"

namespace vesmera {

class ClientNotes;

inline constexpr std::size_t kStreamOutputLimit = 64 * 1024;
inline constexpr std::uint32_t kHeartbeatMs = 1000;

// One client's Server-Sent Events: the events not yet taken by the network layer, never more
// than the output limit.
class EventStream {
public:
    // Moves up to max bytes of waiting events into buffer; 0 when nothing waits, after which
    // the stream's wake call says when something does.
    std::size_t Read(char* buffer, std::size_t max);
    // The client did not keep up and is to be cut off; Read gives nothing more.
    bool Dropped() const { return dropped_; }
    const StreamTarget& Target() const { return target_; }

private:
    friend class EventStreams;
    EventStream(StreamTarget target, std::string peer, std::function<void()> wake)
        : target_(std::move(target)), peer_(std::move(peer)), wake_(std::move(wake)) {}
    std::size_t Unsent() const { return pending_.size() - taken_; }
    void Wake();

    StreamTarget target_;
    std::string peer_;
    std::function<void()> wake_;
    std::string pending_;
    std::size_t taken_ = 0; // bytes at the front of pending_ already read
    bool waiting_ = false;  // the last Read found nothing
    bool dropped_ = false;
};

// Every open event stream, fed from the terminals' changes on the loop: on opening, one
// `reading` event per terminal with its current state; then one per change; and a `heartbeat`
// event each second on every stream, so a page can tell a silent network from a quiet scale.
class EventStreams {
public:
    EventStreams(ITerminalReadings& terminals, IScheduler& scheduler, WallClock wallClock,
                 ClientNotes& notes, LabelledCounter& refused, std::size_t maxStreams,
                 std::size_t outputLimit = kStreamOutputLimit);

    // A new stream, or nothing when MaxStreams streams are open (counted as refused). wake
    // (which must not open or close streams) is called when events arrive for a stream whose
    // last Read found nothing, and at once when the stream is dropped, whose connection the
    // network layer then ends even though its client reads nothing.
    EventStream* Open(const StreamTarget& target, std::string peer, std::function<void()> wake);
    void Close(EventStream* stream);
    std::size_t Count() const { return streams_.size(); }
    void SetMaxStreams(std::size_t maxStreams) { maxStreams_ = maxStreams; }

    // "event: reading", the id (seq, or terminal:seq on the all-terminals stream) and the
    // reading as data.
    static std::string ReadingEvent(const Reading& reading, bool allTerminals,
                                    std::int64_t nowSteadyMs);

private:
    void Changed(const Reading& reading);
    void Heartbeat();
    void Append(EventStream& stream, const std::string& bytes);

    ITerminalReadings& terminals_;
    IScheduler& scheduler_;
    WallClock wallClock_;
    ClientNotes& notes_;
    LabelledCounter& refused_;
    std::size_t maxStreams_;
    std::size_t outputLimit_;
    std::unordered_map<EventStream*, std::unique_ptr<EventStream>> streams_;
    ScheduledTimer heartbeat_;
    ReadingSubscription subscription_;
};

} // namespace vesmera
