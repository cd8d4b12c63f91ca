#include "server/http/http_server.h"

#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/exception.h"
#include "server/client_notes.h"

namespace vesmera {

namespace {

constexpr unsigned kIdleTimeoutS = 60;           // a connection with nothing going on
constexpr std::size_t kConnectionMemory = 16384; // per connection: header and write buffer
constexpr std::size_t kStreamBlock = 4096;       // bytes taken from a stream at a time
constexpr std::uint32_t kSweepPeriodMs = 1000;
// Admit counts connections against MaxConnections over every listener, and a reload may raise
// it; the library's own limit, fixed when a listener opens, only stands behind that.
constexpr unsigned kLibraryConnectionLimit = 1u << 20;
// A request's context in the library: headers seen, then answered.
char kHeadersSeen, kAnswered;

sockaddr_storage AddressOf(const sockaddr* address, socklen_t length) {
    sockaddr_storage ss{};
    std::memcpy(&ss, address, std::min<std::size_t>(length, sizeof ss));
    return ss;
}

std::string Header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? value : "";
}

// The path is decoded by the routes, segment by segment, so an encoded '/' or NUL is seen
// for what it is.
size_t KeepEscapes(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

} // namespace

struct HttpServer::Listener {
    Listener(IScheduler& scheduler) : watch(scheduler), timer(scheduler), soon(scheduler) {}
    ListenAddress address;
    std::string endpoint;
    MHD_Daemon* daemon = nullptr;
    ScheduledTask watch;
    ScheduledTask timer;
    ScheduledTask soon; // a run for resumed streams
    bool runSoon = false;
};

// One client connection, from accept to close.
struct HttpServer::Connection {
    std::optional<AddressSlots::Slot> slot; // its place among its address's connections
    int fd = -1;
    std::string peer;
    std::int64_t idleSince = 0; // when it last had no request under way
    bool inRequest = false;
    bool cut = false;
};

// One event stream's tie to its connection.
struct HttpServer::StreamContext {
    HttpServer* server;
    MHD_Connection* connection;
    Listener* listener;
    int fd;
    EventStream* stream = nullptr;
    bool suspended = false;
    bool ending = false; // the server stops: the stream ends cleanly
};

HttpServer::HttpServer(IScheduler& scheduler, ITerminalReadings& terminals, WallClock wallClock,
                       ClientNotes& notes, Metrics& metrics, AddressSlots* slots)
    : scheduler_(scheduler), notes_(notes), slots_(slots),
      api_(terminals, scheduler, notes, metrics, refused_),
      streams_(terminals, scheduler, std::move(wallClock), notes, refused_, 1024),
      sweep_(scheduler, kSweepPeriodMs) {
    sweep_.SetHandler([this] { Sweep(); });
    for (const char* reason : {refusal::kDenied, refusal::kConnections, refusal::kAddress,
                               refusal::kStreams, refusal::kToken, refusal::kSlow, refusal::kUnread,
                               refusal::kTooLarge, refusal::kBadRequest})
        refused_.Add(reason, 0);
    metrics.Add("vesmera_clients", "Connected clients, by protocol.", MetricType::Gauge,
                [this](std::vector<MetricSample>& samples) {
                    samples.push_back({{{"protocol", "http"}},
                                       static_cast<double>(connections_.size() - Streams())});
                    samples.push_back({{{"protocol", "sse"}}, static_cast<double>(Streams())});
                });
    metrics.Add("vesmera_http_requests_total", "HTTP requests answered, by status code.",
                MetricType::Counter, requests_.Source("code"));
    metrics.Add("vesmera_refused_total", "Clients and requests refused, by reason.",
                MetricType::Counter, refused_.Source("reason"));
}

HttpServer::~HttpServer() {
    Stop();
}

std::vector<std::string> HttpServer::Apply(const HttpConfig& config,
                                           std::vector<AddressRange> allow) {
    api_.SetToken(config.token);
    api_.SetAllowOrigins(config.allowOrigins);
    streams_.SetMaxStreams(static_cast<std::size_t>(config.maxStreams));
    allow_ = std::move(allow);
    maxConnections_ = static_cast<std::size_t>(config.maxConnections);
    if (config.certificatePem != certificatePem_ || config.keyPem != keyPem_) {
        Stop();
        certificatePem_ = config.certificatePem;
        keyPem_ = config.keyPem;
    }
    // Listeners whose address is gone close; an address asked again keeps its listener and
    // its clients.
    for (auto it = listeners_.begin(); it != listeners_.end();) {
        if (std::find(config.listen.begin(), config.listen.end(), (*it)->address) ==
            config.listen.end()) {
            Close(**it);
            it = listeners_.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<std::string> opened;
    for (const auto& address : config.listen) {
        if (std::any_of(listeners_.begin(), listeners_.end(),
                        [&](const auto& l) { return l->address == address; }))
            continue;
        listeners_.push_back(Open(address, config));
        opened.push_back(listeners_.back()->endpoint);
    }
    return opened;
}

std::unique_ptr<HttpServer::Listener> HttpServer::Open(const ListenAddress& address,
                                                       const HttpConfig& config) {
    sockaddr_storage bound{};
    const int fd = OpenListenSocket(address, bound);
    auto listener = std::make_unique<Listener>(scheduler_);
    listener->address = address;
    listener->endpoint = FormatEndpoint(bound);

    std::vector<MHD_OptionItem> tls;
    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (config.Tls()) {
        flags |= MHD_USE_TLS;
        tls.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(certificatePem_.c_str())});
        tls.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(keyPem_.c_str())});
    }
    tls.push_back({MHD_OPTION_END, 0, nullptr});

    startError_.clear();
    starting_ = true;
    using AcceptPolicy = MHD_Result (*)(void*, const sockaddr*, socklen_t);
    using Access = MHD_Result (*)(void*, MHD_Connection*, const char*, const char*, const char*,
                                  const char*, size_t*, void**);
    const AcceptPolicy admit = [](void* self, const sockaddr* a, socklen_t n) {
        return static_cast<HttpServer*>(self)->Admit(a, n) ? MHD_YES : MHD_NO;
    };
    const Access access = [](void* self, MHD_Connection* c, const char* url, const char* method,
                             const char*, const char*, size_t* size, void** context) {
        return static_cast<MHD_Result>(
            static_cast<HttpServer*>(self)->OnRequest(c, url, method, size, context));
    };
    const MHD_NotifyConnectionCallback notify = [](void* self, MHD_Connection* c, void** context,
                                                   MHD_ConnectionNotificationCode code) {
        static_cast<HttpServer*>(self)->OnConnection(c, context,
                                                     code == MHD_CONNECTION_NOTIFY_STARTED);
    };
    const MHD_RequestCompletedCallback completed = [](void* self, MHD_Connection* c, void** context,
                                                      MHD_RequestTerminationCode) {
        *context = nullptr;
        static_cast<HttpServer*>(self)->OnCompleted(c);
    };
    const MHD_LogCallback logger = [](void* self, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        std::string line(text);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        static_cast<HttpServer*>(self)->Note(line);
    };
    listener->daemon = MHD_start_daemon(
        flags, 0, admit, this, access, this, MHD_OPTION_EXTERNAL_LOGGER, logger, this,
        MHD_OPTION_LISTEN_SOCKET, fd, MHD_OPTION_CONNECTION_LIMIT, kLibraryConnectionLimit,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_CONNECTION_TIMEOUT,
        kIdleTimeoutS, MHD_OPTION_NOTIFY_CONNECTION, notify, this, MHD_OPTION_NOTIFY_COMPLETED,
        completed, this, MHD_OPTION_UNESCAPE_CALLBACK, &KeepEscapes, nullptr,
        MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, MHD_OPTION_ARRAY, tls.data(), MHD_OPTION_END);
    starting_ = false;
    if (!listener->daemon) {
        ::close(fd);
        throw Exception("cannot serve HTTP on " + listener->endpoint + ": " +
                        (startError_.empty() ? "the HTTP library refused to start" : startError_));
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(listener->daemon, MHD_DAEMON_INFO_EPOLL_FD);
    Listener& l = *listener;
    l.watch.WhenReadable(info->epoll_fd, [this, &l] { Run(l); });
    Rearm(l);
    return listener;
}

void HttpServer::Close(Listener& listener) {
    // The library must see every suspended stream resumed before it stops.
    for (StreamContext* context : contexts_) {
        if (context->listener != &listener)
            continue;
        context->ending = true;
        if (context->suspended) {
            context->suspended = false;
            MHD_resume_connection(context->connection);
        }
    }
    MHD_run(listener.daemon);
    listener.watch.Cancel();
    listener.timer.Cancel();
    listener.soon.Cancel();
    MHD_stop_daemon(listener.daemon);
    listener.daemon = nullptr;
}

void HttpServer::Stop() {
    for (auto& listener : listeners_)
        Close(*listener);
    listeners_.clear();
}

void HttpServer::Run(Listener& listener) {
    MHD_run(listener.daemon);
    Rearm(listener);
}

void HttpServer::Rearm(Listener& listener) {
    MHD_UNSIGNED_LONG_LONG ms = 0;
    if (MHD_get_timeout(listener.daemon, &ms) != MHD_YES) {
        listener.timer.Cancel();
        return;
    }
    listener.timer.After(static_cast<std::uint32_t>(std::min<MHD_UNSIGNED_LONG_LONG>(ms, 60000)),
                         [this, &listener] { Run(listener); });
}

void HttpServer::Note(const std::string& text) {
    // While a listener starts, the library's first word on a failure is the one that says why.
    if (starting_) {
        if (startError_.empty())
            startError_ = text;
        return;
    }
    notes_.Note(ClientNote::HttpLibrary, "http: " + text);
}

bool HttpServer::Admit(const sockaddr* address, socklen_t length) {
    const sockaddr_storage peer = AddressOf(address, length);
    const std::string client = "http client " + FormatEndpoint(peer) + " refused: ";
    if (!allow_.empty() && std::none_of(allow_.begin(), allow_.end(),
                                        [&](const auto& range) { return range.Contains(peer); })) {
        refused_.Add(refusal::kDenied);
        notes_.Note(ClientNote::NotAllowed, client + "not in Allow");
        return false;
    }
    if (connections_.size() >= maxConnections_) {
        refused_.Add(refusal::kConnections);
        notes_.Note(ClientNote::ServerFull,
                    client + "MaxConnections (" + std::to_string(maxConnections_) + ") reached");
        return false;
    }
    admitted_.reset();
    if (slots_) {
        admitted_ = slots_->Take(peer);
        if (!admitted_) {
            refused_.Add(refusal::kAddress);
            notes_.Note(ClientNote::AddressFull, client + "MaxClientsPerAddress (" +
                                                     std::to_string(slots_->PerAddress()) +
                                                     ") reached");
            return false;
        }
    }
    return true;
}

void HttpServer::OnConnection(MHD_Connection* connection, void** socketContext, bool started) {
    if (!started) {
        auto* c = static_cast<Connection*>(*socketContext);
        connections_.erase(c);
        delete c;
        if (connections_.empty())
            sweep_.SetEnabled(false);
        return;
    }
    auto* c = new Connection;
    c->slot = std::move(admitted_);
    admitted_.reset();
    if (const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
        c->fd = info->connect_fd;
    if (const auto* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
        const sockaddr* a = info->client_addr;
        c->peer = FormatEndpoint(
            AddressOf(a, a->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in)));
    }
    c->idleSince = scheduler_.NowMs();
    connections_.insert(c);
    *socketContext = c;
    sweep_.SetEnabled(true);
}

void HttpServer::OnCompleted(MHD_Connection* connection) {
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (auto* c = static_cast<Connection*>(info ? info->socket_context : nullptr)) {
        c->inRequest = false;
        c->idleSince = scheduler_.NowMs();
    }
}

void HttpServer::Sweep() {
    // A client that does not send its whole request header in time holds a connection that
    // others could use; so does one that stays idle between requests.
    const std::int64_t now = scheduler_.NowMs();
    for (Connection* c : connections_)
        if (!c->inRequest && !c->cut && now - c->idleSince >= kHeaderDeadlineMs) {
            c->cut = true;
            refused_.Add(refusal::kSlow);
            // The library sees the end of the socket and closes the connection itself.
            ::shutdown(c->fd, SHUT_RDWR);
        }
}

int HttpServer::OnRequest(MHD_Connection* connection, const char* url, const char* method,
                          std::size_t* uploadSize, void** requestContext) {
    if (*requestContext == &kAnswered) {
        // A body sent anyway is read and dropped; the answer has gone out.
        *uploadSize = 0;
        return MHD_YES;
    }
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto* c = static_cast<Connection*>(info ? info->socket_context : nullptr);
    if (c)
        c->inRequest = true;

    HttpRequest request;
    request.method = method;
    request.path = url;
    request.origin = Header(connection, MHD_HTTP_HEADER_ORIGIN);
    request.authorization = Header(connection, MHD_HTTP_HEADER_AUTHORIZATION);
    request.preflightMethod = Header(connection, "Access-Control-Request-Method");
    request.peer = c ? c->peer : "?";
    const std::string length = Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    request.hasBody = (!length.empty() && length != "0") ||
                      !Header(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).empty();

    // Refusals go out at once, before any body is read (the connection then closes); a sound
    // request is answered on the library's second call, once the request is whole, so the
    // connection can be kept alive.
    std::optional<HttpResponse> early;
    const auto* size = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
    if (request.path.size() > kHttpRequestLimit) {
        refused_.Add(refusal::kTooLarge);
        early = HttpApi::Error(414, "URL longer than 8192 bytes");
    } else if (size && size->header_size > kHttpRequestLimit) {
        refused_.Add(refusal::kTooLarge);
        early = HttpApi::Error(431, "request header longer than 8192 bytes");
    } else if (request.hasBody) {
        early = api_.Handle(request);
    }
    if (!early && *requestContext == nullptr) {
        *requestContext = &kHeadersSeen;
        return MHD_YES;
    }
    *requestContext = &kAnswered;
    *uploadSize = 0;
    return Queue(connection, request, early ? std::move(*early) : api_.Handle(request));
}

int HttpServer::Queue(MHD_Connection* connection, const HttpRequest& request,
                      HttpResponse response) {
    MHD_Response* r = nullptr;
    if (response.stream) {
        response.contentType = "text/event-stream";
        response.headers.emplace_back("Cache-Control", "no-store");
        response.headers.emplace_back("X-Accel-Buffering", "no");
        if (request.method == "HEAD") {
            r = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        } else {
            const auto* fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            const auto* daemon = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_DAEMON);
            const auto listener =
                std::find_if(listeners_.begin(), listeners_.end(),
                             [&](const auto& l) { return daemon && l->daemon == daemon->daemon; });
            auto* context = new StreamContext{
                this, connection, listener == listeners_.end() ? nullptr : listener->get(),
                fd ? fd->connect_fd : -1};
            context->stream =
                streams_.Open(*response.stream, request.peer, [this, context] { Wake(*context); });
            if (!context->stream) {
                delete context;
                return Queue(connection, request,
                             HttpApi::Error(503, "MaxStreams event streams are open"));
            }
            contexts_.insert(context);
            r = MHD_create_response_from_callback(
                MHD_SIZE_UNKNOWN, kStreamBlock,
                [](void* cls, uint64_t, char* buffer, size_t max) -> ssize_t {
                    auto* s = static_cast<StreamContext*>(cls);
                    if (s->stream->Dropped())
                        return MHD_CONTENT_READER_END_WITH_ERROR;
                    const std::size_t n = s->stream->Read(buffer, max);
                    if (n == 0 && s->ending)
                        return MHD_CONTENT_READER_END_OF_STREAM;
                    if (n == 0) {
                        // Nothing to send: parked until the next event wakes it.
                        s->suspended = true;
                        MHD_suspend_connection(s->connection);
                    }
                    return static_cast<ssize_t>(n);
                },
                context,
                [](void* cls) {
                    auto* s = static_cast<StreamContext*>(cls);
                    s->server->streams_.Close(s->stream);
                    s->server->contexts_.erase(s);
                    delete s;
                });
        }
    } else {
        r = MHD_create_response_from_buffer(response.body.size(), response.body.data(),
                                            MHD_RESPMEM_MUST_COPY);
    }
    if (!r)
        return MHD_NO; // out of memory: the library closes the connection
    if (!response.contentType.empty())
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    for (const auto& [name, value] : response.headers)
        MHD_add_response_header(r, name.c_str(), value.c_str());
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), r);
    MHD_destroy_response(r);
    requests_.Add(std::to_string(response.status));
    return queued;
}

void HttpServer::Wake(StreamContext& context) {
    if (context.stream->Dropped() && context.fd >= 0)
        ::shutdown(context.fd, SHUT_RDWR); // it reads nothing, so it would never be written to
    if (!context.suspended)
        return;
    context.suspended = false;
    MHD_resume_connection(context.connection);
    // The library takes resumed connections back on its next run, which nothing else would
    // start; one run serves every stream resumed until then.
    if (Listener* l = context.listener; l && !l->runSoon) {
        l->runSoon = true;
        l->soon.After(0, [this, l] {
            l->runSoon = false;
            Run(*l);
        });
    }
}

} // namespace vesmera
