#include "server/mqtt/mqtt_publisher.h"

#include <algorithm>

#include "server/reading_json.h"
#include "server/server_log.h"

namespace vesmera {

namespace {

constexpr const char* kLogPrefix = "mqtt: ";
// Room in the hand-off beside one reading per terminal: the status, zero results and the
// clearing of removed terminals.
constexpr std::size_t kHandoffSlack = 64;

// Whether the terminal answers its polls, so a zero request can reach it.
bool Linked(ReadingStatus status) {
    return status == ReadingStatus::Stable || status == ReadingStatus::Unstable ||
           status == ReadingStatus::Overload;
}

// One reading and one zero result per terminal, beside the slack.
std::size_t HandoffCapacity(std::size_t terminals) {
    return 2 * terminals + kHandoffSlack;
}

std::string Seconds(std::uint32_t ms) {
    return std::to_string(ms / 1000) + " s";
}

} // namespace

MqttPublisher::MqttPublisher(IScheduler& scheduler, ITerminalReadings& terminals, IServerLog& log,
                             LinkFactory makeLink)
    : scheduler_(scheduler), terminals_(terminals), log_(log), makeLink_(std::move(makeLink)),
      linkEvents_(scheduler), retry_(scheduler), heartbeat_(scheduler) {}

MqttPublisher::~MqttPublisher() {
    changes_.Reset();
    retry_.Cancel();
    heartbeat_.Cancel();
    linkEvents_.Cancel();
}

void MqttPublisher::Apply(const std::optional<MqttConfig>& config) {
    if (config == config_)
        return;
    config_ = config;
    topics_.reset();
    changes_.Reset();
    if (config_) {
        topics_.emplace(config_->topic);
        changes_ = terminals_.Subscribe([this](const Reading& r) {
            if (connected_)
                OfferReading(r);
        });
    }
    if (link_ && !config_)
        log_.Write(LogPriority::Info, kLogPrefix + std::string("publishing ends: ") +
                                          std::to_string(Published()) + " messages published, " +
                                          std::to_string(Coalesced()) +
                                          " replaced by a newer one before they went out");
    // The next link starts once every closing one has ended.
    if (link_)
        RetireLink();
    else if (config_ && retiring_.empty())
        StartLink();
}

void MqttPublisher::StartLink() {
    connected_ = false;
    retryMs_ = kFirstRetryMs;
    lastFault_.clear();
    link_ = makeLink_(*config_, HandoffCapacity(terminals_.Readings().size()));
    if (link_->EventFd() >= 0)
        linkEvents_.WhenReadable(link_->EventFd(), [this] {
            for (const auto& event : link_->TakeEvents())
                Dispatch(event);
        });
    link_->Connect();
}

void MqttPublisher::RetireLink() {
    connected_ = false;
    retry_.Cancel();
    heartbeat_.Cancel();
    linkEvents_.Cancel();
    link_->Close();
    auto retiring =
        std::make_unique<Retiring>(Retiring{std::move(link_), ScheduledTask(scheduler_)});
    Retiring* r = retiring.get();
    retiring_.push_back(std::move(retiring));
    // A link without a descriptor cannot report its end: it is done once closed.
    if (r->link->EventFd() < 0)
        Retired(r);
    else
        r->events.WhenReadable(r->link->EventFd(), [this, r] { RetiringEvents(r); });
}

void MqttPublisher::RetiringEvents(Retiring* retiring) {
    for (const auto& event : retiring->link->TakeEvents())
        if (event.kind == BrokerEvent::Kind::Stopped) {
            Retired(retiring);
            return;
        }
}

void MqttPublisher::Retired(Retiring* retiring) {
    publishedBefore_ += retiring->link->Published();
    coalescedBefore_ += retiring->link->Coalesced();
    std::erase_if(retiring_, [&](const auto& r) { return r.get() == retiring; });
    if (retiring_.empty() && config_ && !link_)
        StartLink();
}

std::uint64_t MqttPublisher::Published() const {
    return publishedBefore_ + (link_ ? link_->Published() : 0);
}

std::uint64_t MqttPublisher::Coalesced() const {
    return coalescedBefore_ + (link_ ? link_->Coalesced() : 0);
}

void MqttPublisher::Forget(const std::string& terminal) {
    if (connected_)
        Offer(topics_->Terminal(terminal), "", true);
    else
        toClear_.insert(terminal);
}

void MqttPublisher::Dispatch(const BrokerEvent& event) {
    if (!link_)
        return;
    const std::string endpoint = config_->Endpoint();
    switch (event.kind) {
    case BrokerEvent::Kind::Connected:
        connected_ = true;
        retryMs_ = kFirstRetryMs;
        lastFault_.clear();
        log_.Write(LogPriority::Info, kLogPrefix + std::string("connected to ") + endpoint);
        Offer(topics_->Status(), "online", true);
        OfferAll();
        for (const auto& name : std::exchange(toClear_, {}))
            Offer(topics_->Terminal(name), "", true);
        ArmHeartbeat();
        break;
    case BrokerEvent::Kind::ConnectFailed:
        RetryLater("cannot connect to " + endpoint + ": ", event.text);
        break;
    case BrokerEvent::Kind::Lost:
        connected_ = false;
        heartbeat_.Cancel();
        retryMs_ = kFirstRetryMs;
        lastFault_.clear(); // a loss is always a change of state
        RetryLater("connection to " + endpoint + " lost: ", event.text);
        break;
    case BrokerEvent::Kind::Command:
        // A retained request would zero again at every reconnect: only live ones count.
        if (config_->commands && !event.retained && connected_)
            Zero(event.text);
        break;
    case BrokerEvent::Kind::Stopped:
        break;
    }
}

void MqttPublisher::RetryLater(const std::string& what, const std::string& fault) {
    if (fault != lastFault_)
        log_.Write(LogPriority::Warning,
                   kLogPrefix + what + fault + "; retrying in " + Seconds(retryMs_));
    lastFault_ = fault;
    retry_.After(retryMs_, [this] { link_->Connect(); });
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
}

void MqttPublisher::ArmHeartbeat() {
    heartbeat_.After(static_cast<std::uint32_t>(config_->heartbeatS) * 1000, [this] {
        OfferAll();
        ArmHeartbeat();
    });
}

void MqttPublisher::OfferAll() {
    const auto readings = terminals_.Readings();
    // A reload may have added terminals since the link was made.
    link_->Reserve(HandoffCapacity(readings.size()));
    for (const auto& reading : readings)
        OfferReading(reading);
}

void MqttPublisher::OfferReading(const Reading& reading) {
    // A name that is not UTF-8 must not stop the loop: its bytes are replaced in the JSON.
    Offer(topics_->Terminal(reading.terminal),
          ReadingJson(reading, scheduler_.NowMs())
              .dump(-1, ' ', false, Json::error_handler_t::replace),
          true);
}

void MqttPublisher::Offer(std::string topic, std::string payload, bool retain) {
    link_->Offer({std::move(topic), std::move(payload), config_->qos, retain});
}

void MqttPublisher::Zero(std::string_view topic) {
    const auto level = topics_->ZeroLevel(topic);
    if (!level)
        return;
    const auto name = UnescapeTopicLevel(*level);
    const auto reading = name ? terminals_.ReadingOf(*name) : std::nullopt;
    std::string result = "unknown";
    if (reading && !Linked(reading->status)) {
        result = "not_linked";
    } else if (reading) {
        terminals_.Zero(*name);
        result = "queued";
    }
    Offer(topics_->ZeroResult(*level), result, false);
}

} // namespace vesmera
