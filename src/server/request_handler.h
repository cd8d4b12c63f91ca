#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/terminal_answer.h"

namespace vesmera {

class ClientNotes;

// The terminals as the requests see them, by their exact names.
class ITerminalDirectory {
public:
    virtual ~ITerminalDirectory() = default;
    // Nothing for a name the server does not know.
    virtual std::optional<TerminalAnswer> Answer(std::string_view name) const = 0;
    // False for a name the server does not know.
    virtual bool Zero(std::string_view name) = 0;
};

// One request line (without its line end) in, the reply bytes out: the weight line and the
// status line of a poll, each ended by CR LF, or nothing for a zero request. Never waits.
class RequestHandler {
public:
    RequestHandler(ITerminalDirectory& terminals, ClientNotes& notes)
        : terminals_(terminals), notes_(notes) {}

    std::string Handle(std::string_view line, const std::string& peer);

private:
    ITerminalDirectory& terminals_;
    ClientNotes& notes_;
};

// A client's text made fit for one log line: control bytes and quotes become '?', and a long
// text is cut.
std::string LogText(std::string_view text);

} // namespace vesmera
