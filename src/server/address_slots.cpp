#include "server/address_slots.h"

#include <utility>

#include "server/net_address.h"

namespace vesmera {

AddressSlots::Slot::Slot(Slot&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), host_(std::move(other.host_)) {}

AddressSlots::Slot& AddressSlots::Slot::operator=(Slot&& other) noexcept {
    if (this != &other) {
        Release();
        owner_ = std::exchange(other.owner_, nullptr);
        host_ = std::move(other.host_);
    }
    return *this;
}

AddressSlots::Slot::~Slot() {
    Release();
}

void AddressSlots::Slot::Release() {
    if (!owner_)
        return;
    const auto it = owner_->held_.find(host_);
    if (--it->second == 0)
        owner_->held_.erase(it);
    owner_ = nullptr;
}

std::optional<AddressSlots::Slot> AddressSlots::Take(const sockaddr_storage& peer) {
    std::string host = HostBytes(peer);
    std::size_t& count = held_[host];
    if (perAddress_ != 0 && count >= perAddress_)
        return std::nullopt; // count was at least 1 before, so no zero entry is left behind
    ++count;
    return Slot(*this, std::move(host));
}

std::size_t AddressSlots::Held(const sockaddr_storage& peer) const {
    const auto it = held_.find(HostBytes(peer));
    return it == held_.end() ? 0 : it->second;
}

} // namespace vesmera
