#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

#include "common/scheduler.h"
#include "server/server_log.h"

namespace vesmera {

// What a client can make the server say, one kind per cause. An interface that takes clients
// (the line protocol, HTTP) adds a kind here for a cause of its own and shares a kind where the
// cause is the same (a refusal for Allow, MaxClients or MaxClientsPerAddress).
enum class ClientNote {
    UnknownZero,    // a zero request for a name the server does not know
    LineTooLong,    // a client dropped for an overlong request line
    RepliesNotRead, // a client dropped for not reading its replies
    NotAllowed,     // refused: not in Allow
    ServerFull,     // refused: MaxClients reached
    AddressFull,    // refused: MaxClientsPerAddress reached
    NoDescriptor,   // refused: the process has no descriptor left
    BadToken,       // an HTTP command without a valid token
    StreamNotRead,  // an event stream dropped for not reading its events
    HttpLibrary,    // what the HTTP library says about a client (a broken request or handshake)
    Count           // not a kind: the number of kinds
};

// The one gate for log lines a client can cause, so that no client can flood the log: at most
// one line per kind per second. The first note of a kind is written at once; notes of that kind
// in the second after it are held back, and when the second is over the first of them is
// written with " (N more)" when N others were held back too, which starts the next second.
// Kinds do not hold each other back. Pending notes are written when the object goes.
//
//   ClientNotes notes(loop, log);   // one for the whole server, shared by every interface
//   notes.Note(ClientNote::AddressFull, "client 10.0.0.7:41000 refused: ...");
//   // Where a flood is cheap for the client, make the line only when it is needed:
//   notes.Note(ClientNote::UnknownZero, [&] { return "zero request from " + peer + ...; });
class ClientNotes {
public:
    static constexpr std::uint32_t kPeriodMs = 1000;

    ClientNotes(IScheduler& scheduler, IServerLog& log);
    ~ClientNotes();
    ClientNotes(const ClientNotes&) = delete;
    ClientNotes& operator=(const ClientNotes&) = delete;

    // Written with LogPriority::Warning. `line` is a text, or a callable that makes it; that
    // is called only for a note that is written or kept to be written.
    template <typename Line> void Note(ClientNote which, Line&& line) {
        Kind& kind = kinds_[static_cast<std::size_t>(which)];
        if (kind.periodEnd.Pending()) {
            if (kind.held++ == 0)
                kind.first = Text(std::forward<Line>(line));
            return;
        }
        Say(kind, Text(std::forward<Line>(line)));
    }

private:
    struct Kind {
        ScheduledTask periodEnd; // pending for a second after each line of this kind
        std::string first;       // the first note held back
        std::size_t held = 0;
    };
    template <typename Line> static std::string Text(Line&& line) {
        if constexpr (std::is_invocable_v<Line>)
            return line();
        else
            return std::string(std::forward<Line>(line));
    }
    void Say(Kind& kind, const std::string& line);
    // The first note held back, with how many others were; none are held afterwards.
    static std::string TakeHeld(Kind& kind);

    IServerLog& log_;
    std::array<Kind, static_cast<std::size_t>(ClientNote::Count)> kinds_;
};

} // namespace vesmera
