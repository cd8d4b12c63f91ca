#include "server/terminal_link.h"

#include "common/exception.h"
#include "link/ecomport.h"
#include "link/poll_timers.h"
#include "link/serial_poller.h"
#include "server/server_log.h"

namespace vesmera {

TerminalLink::TerminalLink(TerminalConfig config, ISerialChannel& channel, IScheduler& scheduler,
                           WallClock wallClock, IServerLog& log, char decimalSeparator)
    : config_(std::move(config)), settings_(SettingsOf(config_)), channel_(channel),
      scheduler_(scheduler), wallClock_(std::move(wallClock)), log_(log),
      decimalSeparator_(decimalSeparator), timer1_(scheduler, kPollPeriodMs),
      timer5_(scheduler, kPollPeriodMs), supervision_(scheduler, kSupervisionPeriodMs),
      link_(scheduler, channel, settings_, shared_, decimalSeparator, timer1_, timer5_),
      reading_(BuildReading(config_.name, shared_, std::nullopt, decimalSeparator)) {
    timer1_.SetHandler([this] { link_.TickVorlen(); });
    timer5_.SetHandler([this] { link_.Tick643(); });
    supervision_.SetHandler([this] { link_.SupervisionTick(); });
    link_.SetEndListener(
        [this](SerialLink::Ending ending, const PollReading& reading) { Ended(ending, reading); });
}

HeldSettings TerminalLink::SettingsOf(const TerminalConfig& config) {
    HeldSettings s;
    s.port = config.port;
    s.baudRate = config.baudRate;
    s.delayMs = config.delayMs;
    s.channel = config.channel;
    s.protocol = config.protocol;
    return s;
}

void TerminalLink::Start() {
    supervision_.SetEnabled(true);
    link_.WatchDevice([this](const std::string& text) {
        log_.Write(LogPriority::Warning, "terminal \"" + config_.name + "\": " + text);
    });
    try {
        channel_.Open();
    } catch (const Exception& e) {
        // As a failed supervision tick: the polls wait for the port, the answer says why.
        shared_.weight = kPortFailed;
        Enter(Link::PortFailed, "port error: " + ComErrorWithReason(e.Message()));
        Rebuild();
        return;
    }
    SelectPollTimer(settings_.protocol, timer1_, timer5_);
}

TerminalAnswer TerminalLink::Answer() const {
    const Reading& r = reading_.Current();
    return {r.WeightLine(), r.code};
}

void TerminalLink::Zero() {
    // Requests that arrive while one waits or runs are that same request: a client repeating
    // SetNull cannot queue work on the line without end.
    if (zeroPending_)
        return;
    zeroPending_ = true;
    link_.Zero([this] { zeroPending_ = false; });
}

void TerminalLink::Ended(SerialLink::Ending ending, const PollReading& reading) {
    if (ending == SerialLink::Ending::Poll) {
        if (reading.fresh) {
            ++polls_.ok;
            answered_ = AnswerTime{wallClock_(), scheduler_.NowMs()};
            Enter(Link::Linked, "linked");
        } else {
            ++polls_.failed;
            if (shared_.errorCounter > kLinkLostAfter)
                Enter(Link::Lost, "link lost");
        }
    } else if (ending == SerialLink::Ending::Supervision) {
        if (reading.failure)
            Enter(Link::PortFailed, "port error: " + ComErrorWithReason(*reading.failure));
        else if (linkState_ == Link::PortFailed)
            Enter(Link::Starting, "port back");
    }
    Rebuild();
}

void TerminalLink::SetDecimalSeparator(char separator) {
    decimalSeparator_ = separator;
    Rebuild();
}

void TerminalLink::ContinueAfter(std::uint64_t seq) {
    reading_.ContinueAfter(seq);
    if (changed_)
        changed_(reading_.Current());
}

void TerminalLink::Rebuild() {
    if (reading_.Update(BuildReading(config_.name, shared_, answered_, decimalSeparator_)) &&
        changed_)
        changed_(reading_.Current());
}

void TerminalLink::Enter(Link link, const std::string& what) {
    if (linkState_ == link)
        return;
    linkState_ = link;
    const LogPriority priority = link == Link::PortFailed ? LogPriority::Error
                                 : link == Link::Lost     ? LogPriority::Warning
                                                          : LogPriority::Info;
    log_.Write(priority, "terminal \"" + config_.name + "\": " + what);
}

} // namespace vesmera
