#include "link/serial_link.h"

#include <memory>

#include "link/comport_name.h"
#include "link/protocol_643.h"
#include "link/vorlen_protocol.h"

namespace vesmera {

SerialLink::SerialLink(IScheduler& scheduler, ISerialChannel& channel, const HeldSettings& settings,
                       SharedWeightState& state, char decimalSeparator, ITimerSwitch& timer1,
                       ITimerSwitch& timer5)
    : scheduler_(scheduler), channel_(channel), settings_(settings), timer1_(timer1),
      timer5_(timer5), line_(scheduler, channel), poller_(settings, state, decimalSeparator),
      supervision_(channel, settings, state, timer1, timer5) {}

void SerialLink::TickVorlen() {
    Poll(SerialProtocol::Vorlen, timer1_);
}

void SerialLink::Tick643() {
    Poll(SerialProtocol::P643, timer5_);
}

void SerialLink::Supersede() {
    ++era_;
    line_.DropHeldPoll();
    FollowDevice(); // the port or the mode may be another now
}

void SerialLink::Poll(SerialProtocol protocol, ITimerSwitch& timer) {
    FollowDevice();
    auto era = std::make_shared<Era>();
    SerialLine::Job job;
    job.before = [this, era] { era->startedIn = era_; };
    // The reply is checked against the address the request went to, which the apply step may
    // change while the exchange runs.
    // The script's own waits set the poll's pace when they outlast the timer's interval.
    struct Sent {
        std::int32_t address = 0;
        std::int64_t waitMs = 0;
    };
    auto sent = std::make_shared<Sent>();
    job.script = [this, protocol, sent] {
        sent->address = settings_.channel;
        SerialScript script = protocol == SerialProtocol::Vorlen ? PollScriptVorlen(settings_)
                                                                 : PollScript643(settings_);
        sent->waitMs = WaitMs(script);
        return script;
    };
    job.ended = [this, protocol, sent, era](const SerialOutcome& outcome) {
        if (Superseded(*era))
            return;
        PollReading reading = poller_.Ended(protocol, outcome, sent->address);
        reading.scriptWaitMs = sent->waitMs;
        Ended(Ending::Poll, reading);
    };
    // A tick held while the line was busy is for a timer that may have stopped since (a
    // supervision failure, the apply step, a "6.43" zero).
    job.stillDue = [&timer] { return timer.IsEnabled(); };
    line_.Poll(std::move(job));
}

void SerialLink::SupervisionTick() {
    FollowDevice();
    Supervise();
}

void SerialLink::Supervise() {
    if (settings_.networkMode)
        return;
    auto era = std::make_shared<Era>();
    SerialLine::Job job;
    job.before = [this, era] { era->startedIn = era_; };
    // The mode may have changed while the tick waited for the line; in network mode the port
    // stays closed.
    job.script = [this] {
        return settings_.networkMode ? SerialScript{} : SerialSupervision::Script();
    };
    job.ended = [this, era](const SerialOutcome& outcome) {
        // A failure under replaced settings would stop the new polls and close a port the
        // apply step has just opened.
        if (!settings_.networkMode && !Superseded(*era))
            Ended(Ending::Supervision, supervision_.Ended(outcome));
    };
    line_.Queue(std::move(job));
}

void SerialLink::Zero(std::function<void()> done) {
    // What the protocol setting says when the command gets the line.
    struct Run : Era {
        bool p643 = false;
        bool wasPolling = false;
    };
    auto run = std::make_shared<Run>();
    SerialLine::Job job;
    job.before = [this, run] {
        run->startedIn = era_;
        run->p643 = settings_.protocol == kProtocol643;
        if (!run->p643)
            return;
        // No "6.43" poll runs in between: Timer5 stops, and a tick it left held is dropped.
        run->wasPolling = timer5_.IsEnabled();
        timer5_.SetEnabled(false);
        line_.DropHeldPoll();
    };
    job.script = [this, run] {
        if (run->p643)
            return ZeroScript643(settings_);
        if (settings_.protocol == kProtocolVorlen)
            return ZeroScriptVorlen(settings_);
        return SerialScript{};
    };
    job.ended = [this, run, done = std::move(done)](const SerialOutcome&) {
        // A zero request has no result to report: a closed port or a lost line only means the
        // scale is not zeroed. Timer5 is restored rather than switched on: in network mode, or
        // after the supervision tick has stopped the polls, it would poll a closed port. An
        // apply step meanwhile has set the timers for its own settings, and they stay so.
        if (run->p643 && !Superseded(*run))
            timer5_.SetEnabled(run->wasPolling);
        Ended(Ending::Zero, PollReading{});
        if (done)
            done();
    };
    line_.Queue(std::move(job));
}

void SerialLink::WatchDevice(DeviceWatch::Note note) {
    watching_ = true;
    note_ = std::move(note);
    FollowDevice();
}

void SerialLink::FollowDevice() {
    if (!watching_)
        return;
    // In network mode the port stays closed and nothing is watched.
    const std::string path = settings_.networkMode
                                 ? std::string()
                                 : ComPortDevicePath(settings_.port).value_or(std::string());
    if (watch_ ? watch_->Path() == path : path.empty())
        return;
    watch_.reset();
    if (!path.empty())
        watch_ = std::make_unique<DeviceWatch>(
            scheduler_, path, [this](DeviceWatch::Change change) { DeviceChanged(change); }, note_);
}

void SerialLink::DeviceChanged(DeviceWatch::Change change) {
    if (settings_.networkMode)
        return;
    switch (change) {
    case DeviceWatch::Change::Gone:
        CloseGoneDevice();
        break;
    case DeviceWatch::Change::Appeared:
        // A descriptor still open is one of the node that went away, and dead.
        CloseGoneDevice();
        Supervise();
        break;
    case DeviceWatch::Change::Touched:
        // udev gives a new node its group and mode after creating it: an open that this
        // refused may succeed now.
        if (!channel_.Connected())
            Supervise();
        break;
    }
}

void SerialLink::CloseGoneDevice() {
    // After the exchange in flight, which a dead descriptor fails anyway.
    SerialLine::Job job;
    job.before = [this] { ClosePort(channel_); };
    job.script = [] { return SerialScript{}; };
    line_.Queue(std::move(job));
}

void SerialLink::Ended(Ending ending, const PollReading& reading) {
    if (ended_)
        ended_(ending, reading);
}

} // namespace vesmera
