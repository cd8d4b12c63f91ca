#include "link/serial_line.h"

#include <algorithm>
#include <utility>

namespace vesmera {

SerialLine::SerialLine(IScheduler& scheduler, ISerialChannel& channel)
    : exchange_(scheduler, channel) {}

bool SerialLine::Poll(Job job) {
    if (!busy_) {
        Run(std::move(job));
        return true;
    }
    if (pollHeld_)
        return false;
    pollHeld_ = true;
    pending_.push_back({std::move(job), true});
    return true;
}

void SerialLine::Queue(Job job) {
    if (!busy_) {
        Run(std::move(job));
        return;
    }
    pending_.push_back({std::move(job), false});
}

void SerialLine::DropHeldPoll() {
    if (!pollHeld_)
        return;
    pending_.erase(std::find_if(pending_.begin(), pending_.end(),
                                [](const Entry& entry) { return entry.poll; }));
    pollHeld_ = false;
}

void SerialLine::Run(Job job) {
    busy_ = true;
    if (job.before)
        job.before();
    exchange_.Start(job.script(), [this, ended = std::move(job.ended)](const SerialOutcome& o) {
        // The line is free before the effects run, so a tick they cause is not held.
        busy_ = false;
        if (ended)
            ended(o);
        Next();
    });
}

void SerialLine::Next() {
    while (!busy_ && !pending_.empty()) {
        Entry entry = std::move(pending_.front());
        pending_.pop_front();
        if (entry.poll) {
            pollHeld_ = false;
            if (entry.job.stillDue && !entry.job.stillDue())
                continue;
        }
        Run(std::move(entry.job));
    }
}

} // namespace vesmera
