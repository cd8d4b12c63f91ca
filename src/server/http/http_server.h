#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/scheduler.h"
#include "link/scheduled_timer.h"
#include "server/address_slots.h"
#include "server/http/event_streams.h"
#include "server/http/http_api.h"
#include "server/http/metrics.h"
#include "server/net_address.h"
#include "server/reading.h"
#include "server/server_config.h"

struct MHD_Connection;

namespace vesmera {

class ClientNotes;

inline constexpr std::size_t kHttpRequestLimit = 8192;   // bytes of the URL, and of the header
inline constexpr std::int64_t kHeaderDeadlineMs = 10000; // to send a whole request header

// The HTTP interface on libmicrohttpd, run by the server's own loop: each listener is one
// daemon without threads whose epoll descriptor the scheduler watches and whose time-outs are
// the scheduler's timers. An event stream that has nothing to send is suspended and resumed
// when the terminals give it an event, so an idle stream costs nothing but its memory.
class HttpServer {
public:
    // slots, shared with the line protocol, counts connections per client address; none for
    // no such limit.
    HttpServer(IScheduler& scheduler, ITerminalReadings& terminals, WallClock wallClock,
               ClientNotes& notes, Metrics& metrics, AddressSlots* slots = nullptr);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Applies the [HTTP] section and [Server] Allow. The token, origins and limits hold from
    // the next request on; listeners open for new addresses and close for those no longer
    // listed (with their clients), all of them anew when the certificate or key changed.
    // Returns "HOST:PORT" of each listener opened, the real port when 0 was asked. Fails with
    // an Exception naming the address or TLS reason; listeners opened before stay.
    std::vector<std::string> Apply(const HttpConfig& config, std::vector<AddressRange> allow);
    // Closes every listener and every client, streams included.
    void Stop();

    // For resources added beside the readings (the browser page).
    HttpApi& Api() { return api_; }
    std::size_t Connections() const { return connections_.size(); }
    std::size_t Streams() const { return streams_.Count(); }

private:
    struct Listener;
    struct Connection;
    struct StreamContext;

    std::unique_ptr<Listener> Open(const ListenAddress& address, const HttpConfig& config);
    void Close(Listener& listener);
    void Run(Listener& listener);
    void Rearm(Listener& listener);
    void Sweep();

    // libmicrohttpd's callbacks, reached through static trampolines.
    bool Admit(const sockaddr* address, socklen_t length);
    int OnRequest(MHD_Connection* connection, const char* url, const char* method,
                  std::size_t* uploadSize, void** requestContext);
    void OnConnection(MHD_Connection* connection, void** socketContext, bool started);
    void OnCompleted(MHD_Connection* connection);
    int Queue(MHD_Connection* connection, const HttpRequest& request, HttpResponse response);
    void Wake(StreamContext& context);
    void Note(const std::string& text);

    IScheduler& scheduler_;
    ClientNotes& notes_;
    AddressSlots* slots_;
    std::optional<AddressSlots::Slot> admitted_; // taken by Admit for the next connection
    LabelledCounter requests_;
    LabelledCounter refused_;
    HttpApi api_;
    EventStreams streams_;
    std::vector<std::unique_ptr<Listener>> listeners_;
    std::unordered_set<Connection*> connections_;
    std::unordered_set<StreamContext*> contexts_;
    std::vector<AddressRange> allow_;
    std::size_t maxConnections_ = 1024;
    std::string certificatePem_, keyPem_;
    ScheduledTimer sweep_;
    bool starting_ = false;
    std::string startError_; // what the library said first while a listener was being opened
};

} // namespace vesmera
