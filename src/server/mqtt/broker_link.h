#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/mqtt/message_handoff.h"

namespace vesmera {

// What the broker thread tells the server's loop.
struct BrokerEvent {
    enum class Kind {
        Connected,     // the broker accepted the session
        ConnectFailed, // an attempt failed; text: why
        Lost,          // a session ended unasked; text: why
        Command,       // a message on a subscribed topic; text: its topic
        Stopped,       // the link was closed and has ended its session
    };
    Kind kind = Kind::Connected;
    std::string text;
    bool retained = false; // a command delivered from the broker's store of retained messages

    bool operator==(const BrokerEvent&) const = default;
};

// One client connection to the broker, as the server's loop drives it. Nothing here waits:
// an attempt and a session run elsewhere, and their outcome comes back as events, which wait
// until the loop takes them (the event descriptor is readable while any do).
class IBrokerLink {
public:
    virtual ~IBrokerLink() = default;
    // One attempt to connect; ends in Connected or ConnectFailed. The hand-off is emptied
    // when a session begins, so a new session starts from what the loop offers then.
    virtual void Connect() = 0;
    // Hands a message over for the current session; false when the hand-off is full.
    virtual bool Offer(OutMessage message) = 0;
    // Lets the hand-off hold at least this many topics.
    virtual void Reserve(std::size_t topics) = 0;
    virtual std::vector<BrokerEvent> TakeEvents() = 0;
    // Readable while events wait; -1 when the link has no descriptor (a test's link).
    virtual int EventFd() const = 0;
    // Ends the session cleanly: the status "offline" (retained) first, since a clean
    // disconnect suppresses the will. Ends in Stopped.
    virtual void Close() = 0;
    // Messages the broker acknowledged (QoS 1) or that were sent (QoS 0).
    virtual std::uint64_t Published() const = 0;
    // Messages replaced in the hand-off by a newer one for the same topic before they went.
    virtual std::uint64_t Coalesced() const = 0;
};

} // namespace vesmera
