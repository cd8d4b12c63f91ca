#pragma once

#include <memory>
#include <thread>

#include "server/mqtt/broker_link.h"
#include "server/server_config.h"

namespace vesmera {

// The broker link on libmosquitto. The library's connect waits (name lookup, TCP, TLS), so
// the client lives on a thread of its own that runs the library's network steps on its
// socket; the server's loop only offers messages and takes events. The thread takes a message
// from the hand-off only while fewer than kWindow are unacknowledged, so the library's own
// queue stays small and a slow broker makes the hand-off coalesce instead.
class MosquittoLink final : public IBrokerLink {
public:
    static constexpr int kWindow = 64;
    static constexpr int kKeepAliveS = 30;
    // How long a connect may wait for the broker's answer once the TCP connection stands.
    static constexpr int kConnackWaitMs = 10000;
    // How long a clean stop waits for the broker to acknowledge "offline".
    static constexpr int kStopGraceMs = 2000;

    // The hand-off holds at most handoffCapacity topics' messages.
    MosquittoLink(const MqttConfig& config, std::size_t handoffCapacity);
    // Closes the link and waits, bounded, for the thread: a thread still stuck in a connect
    // is left to end by itself.
    ~MosquittoLink() override;
    MosquittoLink(const MosquittoLink&) = delete;
    MosquittoLink& operator=(const MosquittoLink&) = delete;

    void Connect() override;
    bool Offer(OutMessage message) override;
    void Reserve(std::size_t topics) override;
    std::vector<BrokerEvent> TakeEvents() override;
    int EventFd() const override;
    void Close() override;
    std::uint64_t Published() const override;
    std::uint64_t Coalesced() const override;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace vesmera
