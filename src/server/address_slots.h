#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

namespace vesmera {

// How many connections each client address holds, against [Server] MaxClientsPerAddress, over
// every interface that takes clients (the line protocol and HTTP together): one object for the
// whole server, shared by all of them. An IPv4 client reaching an IPv6 socket as ::ffff:a.b.c.d
// counts as a.b.c.d. The port does not matter.
//
//   AddressSlots slots(config.maxClientsPerAddress); // 0: no limit
//   std::optional<AddressSlots::Slot> slot = slots.Take(peer);
//   if (!slot) -> refuse the connection, with a ClientNotes note of kind AddressFull
//   else       -> keep the slot with the connection; when it goes, its place is free again
//
// A slot must not outlive the object it came from.
class AddressSlots {
public:
    class Slot {
    public:
        Slot(Slot&& other) noexcept;
        Slot& operator=(Slot&& other) noexcept;
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        ~Slot();

    private:
        friend class AddressSlots;
        Slot(AddressSlots& owner, std::string host) : owner_(&owner), host_(std::move(host)) {}
        void Release();

        AddressSlots* owner_;
        std::string host_;
    };

    explicit AddressSlots(std::size_t perAddress) : perAddress_(perAddress) {}
    AddressSlots(const AddressSlots&) = delete;
    AddressSlots& operator=(const AddressSlots&) = delete;

    // A place for one more connection from the peer's address; none when it holds the limit.
    std::optional<Slot> Take(const sockaddr_storage& peer);
    std::size_t PerAddress() const { return perAddress_; }
    // Connections the peer's address holds now.
    std::size_t Held(const sockaddr_storage& peer) const;

private:
    std::size_t perAddress_;
    std::unordered_map<std::string, std::size_t> held_; // by address bytes; no zero entries
};

} // namespace vesmera
