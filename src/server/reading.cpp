#include "server/reading.h"

#include <chrono>

#include "common/number_text.h"
#include "link/serial_poller.h"

namespace vesmera {

std::string_view StatusName(ReadingStatus status) {
    switch (status) {
    case ReadingStatus::Starting:
        return "starting";
    case ReadingStatus::Stable:
        return "stable";
    case ReadingStatus::Unstable:
        return "unstable";
    case ReadingStatus::Overload:
        return "overload";
    case ReadingStatus::LinkLost:
        return "link_lost";
    case ReadingStatus::PortError:
        return "port_error";
    }
    return "starting";
}

std::string Reading::WeightLine() const {
    if (text)
        return *text;
    // Code values are whole numbers: the separator never shows.
    return FormatGeneral(status == ReadingStatus::PortError ? kPortFailed : kNoTerminalLink, ',');
}

Reading BuildReading(std::string terminal, const SharedWeightState& state,
                     std::optional<AnswerTime> answered, char decimalSeparator) {
    Reading r;
    r.terminal = std::move(terminal);
    r.answered = answered;
    // The display keeps the last status beside a port failure; a server's client is told
    // plainly that nothing is stable.
    r.code = state.weight == kPortFailed ? kStatusUnstable : state.status;
    if (state.weight == kPortFailed) {
        r.status = ReadingStatus::PortError;
    } else if (state.weight == kNoTerminalLink) {
        if (state.errorCounter > kLinkLostAfter)
            r.status = ReadingStatus::LinkLost;
        else
            r.status = answered ? ReadingStatus::Overload : ReadingStatus::Starting;
    } else {
        r.status = state.status == kStatusStable ? ReadingStatus::Stable : ReadingStatus::Unstable;
        r.value = static_cast<double>(state.weight);
        r.text = FormatGeneral(state.weight, decimalSeparator);
    }
    return r;
}

bool ReadingTracker::Update(Reading next) {
    const bool changed = next.status != current_.status || next.value != current_.value;
    next.seq = current_.seq + (changed ? 1 : 0);
    current_ = std::move(next);
    return changed;
}

struct ReadingSubscribers::Subscription::Registry {
    std::uint64_t next = 0;
    std::map<std::uint64_t, std::shared_ptr<ReadingListener>> listeners;
};

void ReadingSubscribers::Subscription::Reset() {
    if (auto registry = registry_.lock())
        registry->listeners.erase(id_);
    registry_.reset();
    id_ = 0;
}

ReadingSubscribers::ReadingSubscribers() : registry_(std::make_shared<Subscription::Registry>()) {}

ReadingSubscription ReadingSubscribers::Subscribe(ReadingListener listener) {
    Subscription s;
    s.id_ = ++registry_->next;
    s.registry_ = registry_;
    registry_->listeners.emplace(s.id_, std::make_shared<ReadingListener>(std::move(listener)));
    return s;
}

void ReadingSubscribers::Publish(const Reading& reading) const {
    // Listeners may come and go while they are called: walk the ids, each looked up afresh,
    // and hold each listener while it runs.
    const auto registry = registry_;
    std::vector<std::uint64_t> ids;
    ids.reserve(registry->listeners.size());
    for (const auto& [id, listener] : registry->listeners)
        ids.push_back(id);
    for (const auto id : ids) {
        const auto it = registry->listeners.find(id);
        if (it == registry->listeners.end())
            continue;
        const auto listener = it->second;
        (*listener)(reading);
    }
}

std::size_t ReadingSubscribers::Count() const {
    return registry_->listeners.size();
}

std::int64_t SystemWallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace vesmera
