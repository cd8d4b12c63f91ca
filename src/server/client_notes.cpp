#include "server/client_notes.h"

namespace vesmera {

ClientNotes::ClientNotes(IScheduler& scheduler, IServerLog& log) : log_(log) {
    for (Kind& kind : kinds_)
        kind.periodEnd = ScheduledTask(scheduler);
}

ClientNotes::~ClientNotes() {
    for (Kind& kind : kinds_)
        if (kind.held > 0)
            log_.Write(LogPriority::Warning, TakeHeld(kind));
}

void ClientNotes::Say(Kind& kind, const std::string& line) {
    log_.Write(LogPriority::Warning, line);
    kind.periodEnd.After(kPeriodMs, [this, &kind] {
        if (kind.held > 0)
            Say(kind, TakeHeld(kind));
    });
}

std::string ClientNotes::TakeHeld(Kind& kind) {
    std::string line = std::move(kind.first);
    if (kind.held > 1)
        line += " (" + std::to_string(kind.held - 1) + " more)";
    kind.held = 0;
    return line;
}

} // namespace vesmera
