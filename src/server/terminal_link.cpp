#include "server/terminal_link.h"

#include <algorithm>

#include "common/exception.h"
#include "common/number_text.h"
#include "link/protocol_643.h"
#include "link/serial_poller.h"
#include "link/vorlen_protocol.h"
#include "server/server_log.h"

namespace vesmera {

namespace {

// Proves every ten seconds that the port still takes a write.
constexpr const char* kProbe = "1";

} // namespace

TerminalLink::TerminalLink(TerminalConfig config, ISerialChannel& channel, IScheduler& scheduler,
                           IServerLog& log, char decimalSeparator)
    : config_(std::move(config)), channel_(channel), scheduler_(scheduler), log_(log),
      decimalSeparator_(decimalSeparator), step_(scheduler), nextPoll_(scheduler),
      supervision_(scheduler) {}

template <typename Step> bool TerminalLink::Try(Step step, std::string* reason) {
    try {
        step();
        return true;
    } catch (const Exception& e) {
        if (reason)
            *reason = e.Message();
        return false;
    }
}

std::string TerminalLink::Read(int count) {
    std::string bytes;
    channel_.ReadStr(bytes, count);
    return bytes;
}

void TerminalLink::Start() {
    ArmSupervision();
    std::string reason;
    if (Try([this] { channel_.Open(); }, &reason))
        SchedulePoll();
    else
        PortFailed(reason);
}

TerminalAnswer TerminalLink::Answer() const {
    return {FormatGeneral(state_.weight, decimalSeparator_), state_.status};
}

void TerminalLink::SchedulePoll() {
    // The display's pace: one poll every 100 ms, or back to back when a poll takes longer.
    const std::int64_t due = pollStartedAt_ + kPollPeriodMs - scheduler_.NowMs();
    nextPoll_.After(static_cast<std::uint32_t>(std::clamp<std::int64_t>(due, 0, kPollPeriodMs)),
                    [this] {
                        nextPoll_.Done();
                        Poll();
                    });
}

void TerminalLink::Poll() {
    // A closed port is the supervision's to mend; its polls count for nothing.
    if (busy_ || link_ == Link::PortFailed || !channel_.Connected())
        return;
    busy_ = true;
    pollStartedAt_ = scheduler_.NowMs();
    if (Vorlen())
        PollVorlen();
    else
        Poll643();
}

void TerminalLink::PollVorlen() {
    if (!Try([this] { channel_.WriteStr(VorlenFrame(config_.channel, kVorlenWeightCommand)); }))
        return Finish(std::nullopt);
    ReplyAfterDelay(kVorlenReplyReadCount, &DecodeVorlenReply);
}

void TerminalLink::Poll643() {
    if (!Try([this] { channel_.WriteStr(AddressText643(config_.channel)); }))
        return Finish(std::nullopt);
    step_.After(config_.delayMs, [this] {
        step_.Done();
        // The terminal's answer to its address is not used.
        if (!Try([this] {
                Read(k643SelectReadCount);
                channel_.WriteStr(std::string(1, kDle));
            }))
            return Finish(std::nullopt);
        ReplyAfterDelay(k643ReplyReadCount, &DecodeReply643);
    });
}

void TerminalLink::ReplyAfterDelay(int count, Decoder decode) {
    step_.After(config_.delayMs, [this, count, decode] {
        step_.Done();
        std::string reply;
        if (!Try([&] { reply = Read(count); }))
            return Finish(std::nullopt);
        Finish(decode(reply));
    });
}

void TerminalLink::Finish(std::optional<TerminalReading> reading) {
    if (reading) {
        state_.errorCounter = 0;
        state_.weight = reading->overload ? kWeightLinkLost : reading->weight;
        state_.status = reading->stable && !reading->overload ? kStatusStable : kStatusUnstable;
        Enter(Link::Linked, "linked");
    } else {
        state_.errorCounter = std::min(state_.errorCounter, kLinkLostAfter) + 1;
        if (state_.errorCounter > kLinkLostAfter) {
            state_.weight = kWeightLinkLost;
            state_.status = kStatusUnstable;
            Enter(Link::Lost, "link lost");
        }
    }
    Idle();
}

void TerminalLink::Idle() {
    busy_ = false;
    if (supervisionPending_) {
        supervisionPending_ = false;
        Supervise();
    }
    if (zeroPending_ && link_ != Link::PortFailed) {
        zeroPending_ = false;
        RunZero();
        if (busy_)
            return;
    }
    if (link_ != Link::PortFailed && !nextPoll_.Pending())
        SchedulePoll();
}

void TerminalLink::Zero() {
    if (busy_) {
        zeroPending_ = true;
        return;
    }
    if (link_ == Link::PortFailed)
        return; // nothing could be written; the request is lost, as a failed write would be
    RunZero();
}

void TerminalLink::RunZero() {
    if (Vorlen()) {
        // The terminal's answer is not waited for; it comes in front of the next reply.
        Try([this] { channel_.WriteStr(VorlenFrame(config_.channel, kVorlenZeroCommand)); });
        return;
    }
    // "6.43" holds the polls off for its whole exchange and resumes them after it.
    busy_ = true;
    nextPoll_.Cancel();
    step_.After(config_.delayMs, [this] {
        step_.Done();
        if (!Try([this] { channel_.WriteStr(AddressText643(config_.channel)); }))
            return Idle();
        step_.After(config_.delayMs, [this] {
            step_.Done();
            Try([this] {
                Read(k643SelectReadCount);
                channel_.WriteStr(std::string(1, kCr));
            });
            Idle();
        });
    });
}

void TerminalLink::ArmSupervision() {
    supervision_.After(kSupervisionPeriodMs, [this] {
        supervision_.Done();
        ArmSupervision();
        if (busy_)
            supervisionPending_ = true;
        else
            Supervise();
    });
}

void TerminalLink::Supervise() {
    std::string reason;
    if (!Try(
            [this] {
                channel_.Open();
                channel_.WriteStr(kProbe);
            },
            &reason))
        return PortFailed(reason);
    if (link_ == Link::PortFailed)
        Enter(Link::Starting, "port back");
    if (!nextPoll_.Pending())
        SchedulePoll();
}

void TerminalLink::PortFailed(const std::string& reason) {
    nextPoll_.Cancel();
    state_.weight = kWeightPortFailed;
    state_.status = kStatusUnstable;
    // A vanished device may refuse to abort its transfers; the port is given up all the same
    // and opened afresh at the next tick.
    Try([this] { channel_.Close(); });
    Enter(Link::PortFailed, "port error: " + reason);
}

void TerminalLink::Enter(Link link, const std::string& what) {
    if (link_ == link)
        return;
    link_ = link;
    log_.Write("terminal \"" + config_.name + "\": " + what);
}

} // namespace vesmera
