#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/scheduler.h"
#include "server/mqtt/broker_link.h"
#include "server/mqtt/mqtt_topics.h"
#include "server/reading.h"
#include "server/server_config.h"

namespace vesmera {

class IServerLog;

// Publishes every terminal's reading to an MQTT broker, on the server's loop. The broker link
// runs elsewhere; this side decides what goes out and when:
//   - once connected: "online" on the status topic, then every terminal's reading (retained);
//   - each change of a reading at once, and every reading again each Heartbeat seconds;
//   - with Commands=1, a zero request on a terminal's command topic is queued as the line
//     protocol's SetNull is, and its result published;
//   - a failed attempt or a lost connection is retried after 1 s, doubling to 60 s; the log
//     gets one line per change of the link's state (a repeated failure for the same reason
//     is not one).
// While the broker is away nothing is offered, so nothing piles up; a new session starts from
// the readings as they are then.
class MqttPublisher {
public:
    // Makes the link for a configuration; its hand-off holds at most `capacity` topics.
    using LinkFactory =
        std::function<std::unique_ptr<IBrokerLink>(const MqttConfig&, std::size_t capacity)>;

    static constexpr std::uint32_t kFirstRetryMs = 1000;
    static constexpr std::uint32_t kLastRetryMs = 60000;

    MqttPublisher(IScheduler& scheduler, ITerminalReadings& terminals, IServerLog& log,
                  LinkFactory makeLink);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Publishes with this configuration from now on, or stops publishing with none. A
    // configuration that differs from the one in use ends the session cleanly ("offline")
    // before the new one starts; the same configuration changes nothing.
    void Apply(const std::optional<MqttConfig>& config);
    // Clears the retained reading of a terminal the server no longer has (now, or as soon as
    // a session stands).
    void Forget(const std::string& terminal);
    // Ends publishing cleanly, with a log line that counts what was published; the link waits,
    // bounded, for "offline" to be acknowledged.
    void Stop() { Apply(std::nullopt); }

    bool Connected() const { return connected_; }
    // Messages acknowledged by the broker (QoS 1) or sent (QoS 0) since the start.
    std::uint64_t Published() const;
    // Readings replaced by a newer one of the same terminal before they went out.
    std::uint64_t Coalesced() const;

    // What the link reports, taken on the loop.
    void Dispatch(const BrokerEvent& event);

private:
    struct Retiring;
    void StartLink();
    void RetireLink();
    void RetiringEvents(Retiring* retiring);
    void Retired(Retiring* retiring);
    // Logs the failure unless it repeats the last, and tries again after the current delay.
    void RetryLater(const std::string& what, const std::string& fault);
    void OfferAll();
    void OfferReading(const Reading& reading);
    void Offer(std::string topic, std::string payload, bool retain);
    void ArmHeartbeat();
    void Zero(std::string_view topic);

    IScheduler& scheduler_;
    ITerminalReadings& terminals_;
    IServerLog& log_;
    LinkFactory makeLink_;

    std::optional<MqttConfig> config_;
    std::optional<MqttTopics> topics_;
    std::unique_ptr<IBrokerLink> link_;
    ScheduledTask linkEvents_;
    // Links closing before the next one starts: the old status must say "offline" before the
    // new one says "online".
    struct Retiring {
        std::unique_ptr<IBrokerLink> link;
        ScheduledTask events;
    };
    std::vector<std::unique_ptr<Retiring>> retiring_;
    std::uint64_t publishedBefore_ = 0; // by links that have ended
    std::uint64_t coalescedBefore_ = 0;

    bool connected_ = false;
    std::uint32_t retryMs_ = kFirstRetryMs;
    std::string lastFault_; // the failure last logged, so a repeat is not logged again
    ScheduledTask retry_;
    ScheduledTask heartbeat_;
    ReadingSubscription changes_;
    std::set<std::string> toClear_;
};

} // namespace vesmera
