#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/scheduler.h"
#include "server/address_slots.h"
#include "server/config_reload.h"
#include "server/net_address.h"

namespace vesmera {

class ClientNotes;
enum class ClientNote;
class RequestHandler;

struct ServerLimits {
    std::size_t maxClients = 1024;
    std::size_t lineLimit = 16384;       // bytes of one request line, its line end not counted
    std::size_t outputLimit = 64 * 1024; // unsent reply bytes above which a client is not read
    std::uint32_t stallMs = 30000;       // a client over outputLimit that reads nothing for
                                         // this long is dropped
    std::vector<AddressRange> allow;     // empty: every client
};

// The TCP side of the server: listening sockets and their clients on one scheduler. Each
// client is a buffer of input and a buffer of output; requests on one connection are answered
// in order. A client whose unsent replies pass the output limit is not read (nor its read
// requests answered) until it has taken enough of them, so a client that pipelines a burst is
// served at the pace it reads; one that reads nothing for stallMs while over the limit is
// dropped, as is one that sends an endless line. None of them holds up the others. Each client
// holds a place of its address in `slots`, shared with the server's other interfaces.
//
// A reload keeps every client: new limits apply to new connections, a listen address that is
// still configured keeps its socket, and new addresses are bound before old ones close.
class LineServer final : public IReloadable {
public:
    LineServer(IScheduler& scheduler, RequestHandler& handler, ClientNotes& notes,
               AddressSlots& slots, ServerLimits limits);
    ~LineServer() override;
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // Binds and listens; returns the bound address (the real port when 0 was asked).
    // Fails with an Exception naming the address and the system's reason.
    sockaddr_storage Listen(const ListenAddress& address);

    std::size_t Clients() const { return clients_.size(); }

    // Told of each listener a reload opens, with its bound address.
    void SetListening(std::function<void(const sockaddr_storage&)> told) {
        listening_ = std::move(told);
    }
    void Prepare(const ServerConfig& next) override;
    void Commit(std::vector<std::string>& changes) override;
    void Abandon() override;

private:
    struct Client;
    struct Listener;

    std::unique_ptr<Listener> Bind(const ListenAddress& address);
    void Accept(Listener& listener);
    void Admit(int fd, const sockaddr_storage& peer);
    void OnReadable(Client& client);
    // Answers the complete lines that have come while the unsent replies stay within the
    // limit, and holds the client (stops reading it) once they pass it. False when the client
    // was dropped.
    bool ServeLines(Client& client);
    void Hold(Client& client);
    void CheckStall(Client& client);
    void Flush(Client& client);
    void Drop(Client& client, ClientNote kind, const std::string& reason);
    // Marks the client closed: its watches stop at once, and it is freed (its descriptor
    // closed) from the loop after the callback that closed it has returned, so no later line
    // of that callback can reach freed memory.
    void Close(Client& client);

    IScheduler& scheduler_;
    RequestHandler& handler_;
    ClientNotes& notes_;
    AddressSlots& slots_;
    ServerLimits limits_;
    std::vector<std::unique_ptr<Listener>> listeners_;
    std::unordered_map<int, std::unique_ptr<Client>> clients_;
    std::vector<std::unique_ptr<Client>> closed_; // freed by reaper_
    ScheduledTask reaper_;
    int spareFd_ = -1; // given up when the process runs out of descriptors, to refuse politely
    // What a prepared reload brings: the listeners bound for it and the configuration.
    std::vector<std::unique_ptr<Listener>> bound_;
    std::unique_ptr<ServerConfig> next_;
    std::function<void(const sockaddr_storage&)> listening_;
};

} // namespace vesmera
