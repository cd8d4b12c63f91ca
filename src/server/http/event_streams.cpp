#include "server/http/event_streams.h"

#include <algorithm>
#include <cstring>

#include "server/client_notes.h"
#include "server/reading_json.h"

namespace vesmera {

std::size_t EventStream::Read(char* buffer, std::size_t max) {
    const std::size_t n = dropped_ ? 0 : std::min(max, Unsent());
    std::memcpy(buffer, pending_.data() + taken_, n);
    taken_ += n;
    if (taken_ == pending_.size()) {
        pending_.clear();
        taken_ = 0;
    }
    waiting_ = n == 0;
    return n;
}

void EventStream::Wake() {
    if (!waiting_)
        return;
    waiting_ = false;
    wake_();
}

EventStreams::EventStreams(ITerminalReadings& terminals, IScheduler& scheduler, WallClock wallClock,
                           ClientNotes& notes, LabelledCounter& refused, std::size_t maxStreams,
                           std::size_t outputLimit)
    : terminals_(terminals), scheduler_(scheduler), wallClock_(std::move(wallClock)), notes_(notes),
      refused_(refused), maxStreams_(maxStreams), outputLimit_(outputLimit),
      heartbeat_(scheduler, kHeartbeatMs),
      subscription_(terminals.Subscribe([this](const Reading& r) { Changed(r); })) {
    heartbeat_.SetHandler([this] { Heartbeat(); });
}

std::string EventStreams::ReadingEvent(const Reading& reading, bool allTerminals,
                                       std::int64_t nowSteadyMs) {
    std::string id = std::to_string(reading.seq);
    if (allTerminals)
        id = reading.terminal + ":" + id;
    return "event: reading\nid: " + id + "\ndata: " +
           ReadingJson(reading, nowSteadyMs).dump(-1, ' ', false, Json::error_handler_t::replace) +
           "\n\n";
}

EventStream* EventStreams::Open(const StreamTarget& target, std::string peer,
                                std::function<void()> wake) {
    if (streams_.size() >= maxStreams_) {
        refused_.Add(refusal::kStreams);
        return nullptr;
    }
    std::unique_ptr<EventStream> stream(new EventStream(target, std::move(peer), std::move(wake)));
    const std::int64_t now = scheduler_.NowMs();
    if (target.terminal) {
        if (const auto reading = terminals_.ReadingOf(*target.terminal))
            stream->pending_ = ReadingEvent(*reading, false, now);
    } else {
        for (const auto& reading : terminals_.Readings())
            stream->pending_ += ReadingEvent(reading, true, now);
    }
    EventStream* raw = stream.get();
    streams_.emplace(raw, std::move(stream));
    heartbeat_.SetEnabled(true);
    return raw;
}

void EventStreams::Close(EventStream* stream) {
    streams_.erase(stream);
    if (streams_.empty())
        heartbeat_.SetEnabled(false);
}

void EventStreams::Append(EventStream& stream, const std::string& bytes) {
    if (stream.dropped_)
        return;
    if (stream.Unsent() + bytes.size() > outputLimit_) {
        // A client that does not read would hold memory without end: it is cut off instead.
        stream.dropped_ = true;
        stream.pending_.clear();
        stream.taken_ = 0;
        refused_.Add(refusal::kUnread);
        notes_.Note(ClientNote::StreamNotRead, "event stream of " + stream.peer_ +
                                                   " dropped: more than " +
                                                   std::to_string(outputLimit_) + " bytes unread");
        // Told whether or not its last read found nothing: the network layer ends it now.
        stream.waiting_ = false;
        stream.wake_();
        return;
    }
    stream.pending_ += bytes;
    stream.Wake();
}

void EventStreams::Changed(const Reading& reading) {
    if (streams_.empty())
        return;
    const std::int64_t now = scheduler_.NowMs();
    const std::string all = ReadingEvent(reading, true, now);
    const std::string one = ReadingEvent(reading, false, now);
    for (auto& [raw, stream] : streams_) {
        if (!stream->target_.terminal)
            Append(*stream, all);
        else if (*stream->target_.terminal == reading.terminal)
            Append(*stream, one);
    }
}

void EventStreams::Heartbeat() {
    const std::string event =
        "event: heartbeat\ndata: {\"time\":\"" + UtcTimeText(wallClock_()) + "\"}\n\n";
    for (auto& [raw, stream] : streams_)
        Append(*stream, event);
}

} // namespace vesmera
