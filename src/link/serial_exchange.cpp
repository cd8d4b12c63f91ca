#include "link/serial_exchange.h"

#include <utility>

#include "common/exception.h"

namespace vesmera {

std::int64_t WaitMs(const SerialScript& script) {
    std::int64_t ms = 0;
    for (const SerialStep& step : script) {
        if (step.kind == SerialStep::Kind::Wait)
            ms += step.ms;
    }
    return ms;
}

SerialExchange::SerialExchange(IScheduler& scheduler, ISerialChannel& channel)
    : scheduler_(scheduler), channel_(channel), timer_(scheduler) {}

void SerialExchange::Start(SerialScript script, Done done) {
    timer_.Cancel();
    script_ = std::move(script);
    next_ = 0;
    outcome_ = SerialOutcome{};
    done_ = std::move(done);
    running_ = true;
    Continue();
}

void SerialExchange::Continue() {
    while (next_ < script_.size()) {
        const SerialStep& step = script_[next_++];
        try {
            switch (step.kind) {
            case SerialStep::Kind::Open:
                channel_.Open();
                break;
            case SerialStep::Kind::Write:
                channel_.WriteStr(step.bytes);
                // The next step (a wait for the reply) starts once the bytes are on the line.
                if (next_ < script_.size() && script_[next_].kind == SerialStep::Kind::Wait) {
                    // One timer for both: the line time the queue needs now, then the delay.
                    // A wake-up per poll saved, and the reply is read at the same moment.
                    Wait(channel_.DrainMs() + script_[next_++].ms);
                    return;
                }
                if (const std::uint32_t ms = channel_.DrainMs(); ms > 0) {
                    Drain(ms);
                    return;
                }
                break;
            case SerialStep::Kind::Wait:
                Wait(step.ms);
                return;
            case SerialStep::Kind::Read: {
                std::string bytes;
                channel_.ReadStr(bytes, step.count);
                if (step.keep)
                    outcome_.reply = std::move(bytes);
                break;
            }
            }
        } catch (const Exception& e) {
            Finish(e.Message());
            return;
        }
    }
    Finish(std::nullopt);
}

void SerialExchange::Wait(std::uint32_t ms) {
    timer_.After(ms, [this] { Continue(); });
}

void SerialExchange::Drain(std::uint32_t ms) {
    timer_.After(ms, [this] {
        if (const std::uint32_t more = channel_.DrainMs(); more > 0)
            Drain(more);
        else
            Continue();
    });
}

void SerialExchange::Finish(std::optional<std::string> failure) {
    running_ = false;
    outcome_.failure = std::move(failure);
    // Moved out first: done may start the next script on this very exchange.
    Done done = std::exchange(done_, nullptr);
    const SerialOutcome outcome = std::move(outcome_);
    if (done)
        done(outcome);
}

} // namespace vesmera
