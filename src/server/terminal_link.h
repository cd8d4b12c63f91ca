#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/held_settings.h"
#include "common/scheduler.h"
#include "link/scheduled_timer.h"
#include "link/serial_channel.h"
#include "link/serial_link.h"
#include "link/shared_weight.h"
#include "server/reading.h"
#include "server/server_config.h"
#include "server/terminal_answer.h"

namespace vesmera {

class IServerLog;

inline constexpr std::uint32_t kPollPeriodMs = 100;
inline constexpr std::uint32_t kSupervisionPeriodMs = 10000;

// One terminal on its own serial line, run exactly as the display runs its own: the display's
// serial link (Ворлен and "6.43" exchanges on scheduler timers, link loss after eleven failed
// polls, the port reopened every ten seconds with 0x31, zero commands between exchanges) with
// the poll timers of a program without windows. Keeps the last reading, answers from it at
// once, and says when the terminal's state changes.
class TerminalLink {
public:
    // Told on the loop after each change of the reading's status or value.
    using ChangeListener = std::function<void(const Reading&)>;

    // The channel comes configured (name, speed, line format) and closed; Start opens it.
    TerminalLink(TerminalConfig config, ISerialChannel& channel, IScheduler& scheduler,
                 WallClock wallClock, IServerLog& log, char decimalSeparator);

    void Start();
    // What a poll of this terminal is answered with now.
    TerminalAnswer Answer() const;
    const Reading& CurrentReading() const { return reading_.Current(); }
    const PollCounts& Polls() const { return polls_; }
    void SetChangeListener(ChangeListener listener) { changed_ = std::move(listener); }
    // Sends the protocol's zero request after the exchange in flight; one at a time.
    void Zero();

    const TerminalConfig& Config() const { return config_; }
    // Whether the last poll succeeded.
    bool Linked() const { return linkState_ == Link::Linked; }
    // The weight text of the reading follows at once.
    void SetDecimalSeparator(char separator);
    // Takes over from a link this one replaces (its port settings changed): the reading counts
    // on from the old one's seq, and the restart is told as a change.
    void ContinueAfter(std::uint64_t seq);
    const SharedWeightState& State() const { return shared_; }

private:
    enum class Link { Starting, Linked, Lost, PortFailed };

    static HeldSettings SettingsOf(const TerminalConfig& config);
    void Ended(SerialLink::Ending ending, const PollReading& reading);
    void Enter(Link link, const std::string& what);
    void Rebuild();

    TerminalConfig config_;
    HeldSettings settings_;
    ISerialChannel& channel_;
    IScheduler& scheduler_;
    WallClock wallClock_;
    IServerLog& log_;
    char decimalSeparator_;

    SharedWeightState shared_{kNoTerminalLink, kStatusUnstable, 0}; // no reading yet
    ScheduledTimer timer1_;
    ScheduledTimer timer5_;
    ScheduledTimer supervision_;
    SerialLink link_;
    Link linkState_ = Link::Starting;
    bool zeroPending_ = false;
    std::optional<AnswerTime> answered_;
    PollCounts polls_;
    ReadingTracker reading_;
    ChangeListener changed_;
};

} // namespace vesmera
