#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace vesmera {

// One message for the broker.
struct OutMessage {
    std::string topic;
    std::string payload; // empty with retain: clears the topic's retained message
    int qos = 1;
    bool retain = true;

    bool operator==(const OutMessage&) const = default;
};

// The bounded, thread-safe hand-off between the server's loop, which offers messages, and the
// broker thread, which takes them as fast as the broker acknowledges them. It holds at most one
// message per topic: a newer message for a topic that is still waiting takes the older one's
// place (and its turn), so a slow or absent broker never makes a queue grow; those replaced
// are counted. Topics beyond the capacity are refused and counted.
class MessageHandoff {
public:
    explicit MessageHandoff(std::size_t capacity) : capacity_(capacity) {}
    // Grows the capacity to at least `capacity` topics (a reload may add terminals).
    void Reserve(std::size_t capacity);

    // Called, outside the lock, when an offer finds the hand-off empty: the taker's wake-up.
    void SetWake(std::function<void()> wake) { wake_ = std::move(wake); }

    // False when the message was refused for want of room.
    bool Offer(OutMessage message);
    // The message that has waited longest, if any.
    std::optional<OutMessage> Take();
    void Clear();

    std::size_t Waiting() const;
    std::uint64_t Coalesced() const;
    std::uint64_t Refused() const;

private:
    std::size_t capacity_;
    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::list<OutMessage> queue_;
    std::unordered_map<std::string, std::list<OutMessage>::iterator> byTopic_;
    std::uint64_t coalesced_ = 0;
    std::uint64_t refused_ = 0;
};

} // namespace vesmera
