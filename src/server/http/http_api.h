#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/scheduler.h"
#include "server/http/metrics.h"
#include "server/reading.h"

namespace vesmera {

class ClientNotes;

// What the HTTP layer took from one request: nothing here depends on the library that parsed it.
struct HttpRequest {
    std::string method;
    std::string path;            // as sent, without the query
    std::string origin;          // the Origin header; empty when none
    std::string authorization;   // the Authorization header
    std::string preflightMethod; // Access-Control-Request-Method
    std::string peer;            // "HOST:PORT", for the log
    bool hasBody = false;
};

// Which readings an event stream carries: one terminal's, or every terminal's.
struct StreamTarget {
    std::optional<std::string> terminal;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Set for an event stream: the body is the stream's events, written as they happen.
    std::optional<StreamTarget> stream;
};

// The reasons a request or connection is refused, as vesmera_refused_total names them.
namespace refusal {
inline constexpr const char* kDenied = "denied";           // not in [Server] Allow
inline constexpr const char* kConnections = "connections"; // MaxConnections reached
inline constexpr const char* kAddress = "address";         // MaxClientsPerAddress reached
inline constexpr const char* kStreams = "streams";         // MaxStreams reached
inline constexpr const char* kToken = "token";             // a command without a valid token
inline constexpr const char* kSlow = "slow";               // a request header not sent in time
inline constexpr const char* kUnread = "unread";           // a stream that does not read
inline constexpr const char* kTooLarge = "too_large";      // URL, header or body
inline constexpr const char* kBadRequest = "bad_request";  // a path that is not plain
} // namespace refusal

// The server's HTTP interface as a table of routes, from a parsed request to a response:
// readings as JSON, event streams, the zero command, health, readiness and metrics. Token,
// CORS and bad input are judged here, so the network layer only moves bytes.
class HttpApi {
public:
    HttpApi(ITerminalReadings& terminals, IScheduler& scheduler, ClientNotes& notes,
            const Metrics& metrics, LabelledCounter& refused);

    // A new token or origin list applies from the next request on. An empty token turns the
    // commands off.
    void SetToken(std::string token) { token_ = std::move(token); }
    void SetAllowOrigins(std::vector<std::string> origins) { origins_ = std::move(origins); }
    bool ZeroPossible() const { return !token_.empty(); }

    // A fixed resource answered at GET `path`, such as a page and its scripts, with headers of
    // its own.
    void AddResource(const std::string& path, std::string contentType, std::string body,
                     std::vector<std::pair<std::string, std::string>> headers = {});

    HttpResponse Handle(const HttpRequest& request);

    // The JSON error every refusal carries: {"error": message}.
    static HttpResponse Error(int status, const std::string& message);

private:
    using Captures = std::vector<std::string>;
    using Handler = std::function<HttpResponse(const HttpRequest&, const Captures&)>;
    struct Route {
        std::string method;
        std::vector<std::string> pattern; // "{}" takes any one segment
        Handler handler;
    };

    void AddRoute(std::string method, const std::string& path, Handler handler);
    HttpResponse Dispatch(const HttpRequest& request);
    HttpResponse Preflight(const HttpRequest& request, const std::vector<std::string>& methods);
    bool OriginAllowed(const std::string& origin) const;
    void AddCors(const HttpRequest& request, HttpResponse& response) const;
    HttpResponse Zero(const HttpRequest& request, const std::string& name);
    HttpResponse Ready() const;

    ITerminalReadings& terminals_;
    IScheduler& scheduler_;
    ClientNotes& notes_;
    const Metrics& metrics_;
    LabelledCounter& refused_;
    std::string token_;
    std::vector<std::string> origins_;
    std::vector<Route> routes_;
};

// Whether the Authorization header carries exactly this bearer token. The comparison takes
// the same time wherever the texts differ, so response times tell nothing about the token.
bool BearerTokenMatches(const std::string& header, const std::string& token);

} // namespace vesmera
