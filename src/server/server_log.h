#pragma once

#include <string>

namespace vesmera {

// How much a log line matters, numbered as syslog numbers it: under journald each line starts
// with it ("<3>"), so the journal can sort and colour the lines.
enum class LogPriority {
    Error = 3,   // a terminal's port fails
    Warning = 4, // a terminal's link is lost; a client is refused or dropped
    Info = 6,    // a terminal is linked; the server listens or stops
};

// Where the server says what happens: terminal state changes and refused or dropped clients,
// one line each. Nothing is written per successful poll or request.
//
// A line that a client can cause (a refusal, a drop, a request that names nothing) never comes
// here directly: it goes through ClientNotes (client_notes.h), which bounds how many such
// lines a flood can make. Terminal state changes are written here directly and never
// suppressed.
class IServerLog {
public:
    virtual ~IServerLog() = default;
    virtual void Write(LogPriority priority, const std::string& line) = 0;
};

} // namespace vesmera
