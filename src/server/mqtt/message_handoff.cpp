#include "server/mqtt/message_handoff.h"

#include <algorithm>

namespace vesmera {

bool MessageHandoff::Offer(OutMessage message) {
    bool wasEmpty = false;
    {
        const std::lock_guard lock(mutex_);
        if (const auto it = byTopic_.find(message.topic); it != byTopic_.end()) {
            *it->second = std::move(message);
            ++coalesced_;
            return true;
        }
        if (queue_.size() >= capacity_) {
            ++refused_;
            return false;
        }
        wasEmpty = queue_.empty();
        const std::string topic = message.topic;
        queue_.push_back(std::move(message));
        byTopic_.emplace(topic, std::prev(queue_.end()));
    }
    if (wasEmpty && wake_)
        wake_();
    return true;
}

void MessageHandoff::Reserve(std::size_t capacity) {
    const std::lock_guard lock(mutex_);
    capacity_ = std::max(capacity_, capacity);
}

std::optional<OutMessage> MessageHandoff::Take() {
    const std::lock_guard lock(mutex_);
    if (queue_.empty())
        return std::nullopt;
    OutMessage message = std::move(queue_.front());
    byTopic_.erase(message.topic);
    queue_.pop_front();
    return message;
}

void MessageHandoff::Clear() {
    const std::lock_guard lock(mutex_);
    queue_.clear();
    byTopic_.clear();
}

std::size_t MessageHandoff::Waiting() const {
    const std::lock_guard lock(mutex_);
    return queue_.size();
}

std::uint64_t MessageHandoff::Coalesced() const {
    const std::lock_guard lock(mutex_);
    return coalesced_;
}

std::uint64_t MessageHandoff::Refused() const {
    const std::lock_guard lock(mutex_);
    return refused_;
}

} // namespace vesmera
