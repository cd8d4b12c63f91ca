#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/held_settings.h"
#include "common/scheduler.h"
#include "link/serial_channel.h"
#include "link/shared_weight.h"
#include "link/terminal_reading.h"
#include "server/server_config.h"
#include "server/terminal_answer.h"

namespace vesmera {

class IServerLog;

inline constexpr std::uint32_t kPollPeriodMs = 100;
inline constexpr std::uint32_t kSupervisionPeriodMs = 10000;

// One terminal on its own serial line, polled continuously with the display's exchanges and
// pace, never waiting: every delay between a request and its reply is a scheduler timer.
// Keeps the last reading as the display's shared weight state does, counts failed polls into
// the link-lost state, reopens a failed port every ten seconds (writing 0x31 to an open one),
// and runs zero requests between exchanges, never inside one.
class TerminalLink {
public:
    // The channel comes configured (name, speed, line format) and closed; Start opens it.
    TerminalLink(TerminalConfig config, ISerialChannel& channel, IScheduler& scheduler,
                 IServerLog& log, char decimalSeparator);

    void Start();
    // What a poll of this terminal is answered with now.
    TerminalAnswer Answer() const;
    // Sends the protocol's zero request as soon as no exchange runs. Requests that arrive
    // while one waits are the same request.
    void Zero();

    const TerminalConfig& Config() const { return config_; }
    const SharedWeightState& State() const { return state_; }

private:
    enum class Link { Starting, Linked, Lost, PortFailed };

    bool Vorlen() const { return config_.protocol == kProtocolVorlen; }
    void SchedulePoll();
    void Poll();
    void PollVorlen();
    void Poll643();
    using Decoder = std::optional<TerminalReading> (*)(std::string_view);
    // The delay passes, then what has arrived (at most count bytes) is the reply.
    void ReplyAfterDelay(int count, Decoder decode);
    void Finish(std::optional<TerminalReading> reading);
    void RunZero();
    // Every ten seconds, on time even when the probe itself has to wait for an exchange.
    void ArmSupervision();
    void Supervise();
    void PortFailed(const std::string& reason);
    // An exchange has ended: deferred supervision and zero run now, then the next poll.
    void Idle();
    void Enter(Link link, const std::string& what);
    // Runs one step of an exchange; false when the channel failed.
    template <typename Step> bool Try(Step step, std::string* reason = nullptr);
    std::string Read(int count);

    TerminalConfig config_;
    ISerialChannel& channel_;
    IScheduler& scheduler_;
    IServerLog& log_;
    char decimalSeparator_;

    SharedWeightState state_{kWeightLinkLost, kStatusUnstable, 0}; // no reading yet
    Link link_ = Link::Starting;
    bool busy_ = false;
    bool zeroPending_ = false;
    bool supervisionPending_ = false;
    std::int64_t pollStartedAt_ = -std::int64_t{kPollPeriodMs}; // the first poll starts at once
    ScheduledTask step_;
    ScheduledTask nextPoll_;
    ScheduledTask supervision_;
};

} // namespace vesmera
