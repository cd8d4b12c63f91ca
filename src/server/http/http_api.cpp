#include "server/http/http_api.h"

#include <algorithm>

#include "common/letter_case.h"
#include "server/client_notes.h"
#include "server/http/http_path.h"
#include "server/http/web_assets.h"
#include "server/reading_json.h"
#include "server/request_handler.h"

#ifndef VESMERA_VERSION
#define VESMERA_VERSION "0"
#endif

namespace vesmera {

namespace {

constexpr const char* kAny = "{}";
constexpr const char* kPreflightMaxAge = "600";

std::string Dump(const Json& json) {
    // Names come from the configuration as UTF-8; a stray byte is replaced, never thrown on.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

HttpResponse JsonResponse(int status, const Json& json) {
    HttpResponse r;
    r.status = status;
    r.body = Dump(json);
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

bool Matches(const std::vector<std::string>& pattern, const std::vector<std::string>& segments,
             std::vector<std::string>& captures) {
    if (pattern.size() != segments.size())
        return false;
    captures.clear();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == kAny)
            captures.push_back(segments[i]);
        else if (pattern[i] != segments[i])
            return false;
    }
    return true;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

} // namespace

bool BearerTokenMatches(const std::string& header, const std::string& token) {
    constexpr std::string_view kScheme = "Bearer ";
    if (token.empty() || header.size() < kScheme.size() ||
        !EqualNoCase(std::string_view(header).substr(0, kScheme.size()), kScheme))
        return false;
    std::string_view given = std::string_view(header).substr(kScheme.size());
    while (!given.empty() && given.front() == ' ')
        given.remove_prefix(1);
    // Every byte of the token is looked at whatever the given text is; only the token's own
    // length shows in the time taken.
    unsigned difference = given.size() == token.size() ? 0 : 1;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(g ^ token[i]);
    }
    return difference == 0;
}

HttpApi::HttpApi(ITerminalReadings& terminals, IScheduler& scheduler, ClientNotes& notes,
                 const Metrics& metrics, LabelledCounter& refused)
    : terminals_(terminals), scheduler_(scheduler), notes_(notes), metrics_(metrics),
      refused_(refused) {
    AddRoute("GET", "/v1", [this](const HttpRequest&, const Captures&) {
        return JsonResponse(200, Json{{"version", VESMERA_VERSION}, {"zero", ZeroPossible()}});
    });
    AddRoute("GET", "/v1/terminals", [this](const HttpRequest&, const Captures&) {
        Json all = Json::array();
        const std::int64_t now = scheduler_.NowMs();
        for (const auto& reading : terminals_.Readings())
            all.push_back(ReadingJson(reading, now));
        return JsonResponse(200, all);
    });
    AddRoute("GET", "/v1/terminals/{}", [this](const HttpRequest&, const Captures& c) {
        if (const auto reading = terminals_.ReadingOf(c[0]))
            return JsonResponse(200, ReadingJson(*reading, scheduler_.NowMs()));
        return JsonResponse(404, Json{{"error", "unknown terminal"}, {"terminal", c[0]}});
    });
    AddRoute("GET", "/v1/events", [](const HttpRequest&, const Captures&) {
        HttpResponse r;
        r.stream = StreamTarget{};
        return r;
    });
    AddRoute("GET", "/v1/terminals/{}/events", [this](const HttpRequest&, const Captures& c) {
        if (!terminals_.ReadingOf(c[0]))
            return JsonResponse(404, Json{{"error", "unknown terminal"}, {"terminal", c[0]}});
        HttpResponse r;
        r.stream = StreamTarget{c[0]};
        return r;
    });
    AddRoute("POST", "/v1/terminals/{}/zero",
             [this](const HttpRequest& request, const Captures& c) { return Zero(request, c[0]); });
    AddRoute("GET", "/healthz", [](const HttpRequest&, const Captures&) {
        return JsonResponse(200, Json{{"status", "ok"}});
    });
    AddRoute("GET", "/readyz", [this](const HttpRequest&, const Captures&) { return Ready(); });
    AddRoute("GET", "/metrics", [this](const HttpRequest&, const Captures&) {
        HttpResponse r;
        r.contentType = "text/plain; version=0.0.4; charset=utf-8";
        r.body = metrics_.Render();
        r.headers.emplace_back("Cache-Control", "no-store");
        return r;
    });
    // The browser page and its script and style, from the server's own binary.
    for (const WebAsset& asset : WebAssets())
        AddResource(std::string(asset.path), std::string(asset.contentType),
                    std::string(asset.body),
                    {{"Content-Security-Policy", kPagePolicy},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "no-referrer"},
                     {"Cache-Control", "no-cache"}});
}

void HttpApi::AddRoute(std::string method, const std::string& path, Handler handler) {
    Route route{std::move(method), {}, std::move(handler)};
    for (std::size_t start = 1; start <= path.size();) {
        const auto slash = std::min(path.find('/', start), path.size());
        route.pattern.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    routes_.push_back(std::move(route));
}

void HttpApi::AddResource(const std::string& path, std::string contentType, std::string body,
                          std::vector<std::pair<std::string, std::string>> headers) {
    AddRoute("GET", path,
             [type = std::move(contentType), body = std::move(body),
              headers = std::move(headers)](const HttpRequest&, const Captures&) {
                 HttpResponse r;
                 r.contentType = type;
                 r.body = body;
                 r.headers = headers;
                 return r;
             });
}

HttpResponse HttpApi::Error(int status, const std::string& message) {
    return JsonResponse(status, Json{{"error", message}});
}

HttpResponse HttpApi::Handle(const HttpRequest& request) {
    HttpResponse response = Dispatch(request);
    AddCors(request, response);
    return response;
}

HttpResponse HttpApi::Dispatch(const HttpRequest& request) {
    if (request.hasBody) {
        refused_.Add(refusal::kTooLarge);
        return Error(413, "requests carry no body");
    }
    const auto segments = SplitPath(request.path);
    if (!segments) {
        refused_.Add(refusal::kBadRequest);
        return Error(400, "bad path: broken escape, NUL, text that is not UTF-8, or a dot segment");
    }
    std::vector<std::string> methods;
    std::vector<std::string> captures;
    const bool head = request.method == "HEAD";
    for (const auto& route : routes_) {
        if (!Matches(route.pattern, *segments, captures))
            continue;
        if (route.method == request.method || (head && route.method == "GET"))
            return route.handler(request, captures);
        methods.push_back(route.method);
    }
    if (methods.empty())
        return Error(404, "not found");
    if (std::find(methods.begin(), methods.end(), "GET") != methods.end())
        methods.push_back("HEAD");
    methods.push_back("OPTIONS");
    if (request.method == "OPTIONS")
        return Preflight(request, methods);
    HttpResponse r = Error(405, "method not allowed");
    r.headers.emplace_back("Allow", Joined(methods));
    return r;
}

HttpResponse HttpApi::Preflight(const HttpRequest& request,
                                const std::vector<std::string>& methods) {
    HttpResponse r;
    r.status = 204;
    r.contentType.clear();
    r.headers.emplace_back("Allow", Joined(methods));
    if (request.origin.empty() || request.preflightMethod.empty())
        return r; // a plain OPTIONS request: what the resource allows
    if (!OriginAllowed(request.origin))
        return Error(403, "origin not allowed");
    if (std::find(methods.begin(), methods.end(), request.preflightMethod) == methods.end())
        return Error(403, "method not allowed for this origin");
    r.headers.emplace_back("Access-Control-Allow-Methods", Joined(methods));
    r.headers.emplace_back("Access-Control-Allow-Headers", "Authorization");
    r.headers.emplace_back("Access-Control-Max-Age", kPreflightMaxAge);
    return r;
}

bool HttpApi::OriginAllowed(const std::string& origin) const {
    return std::any_of(origins_.begin(), origins_.end(),
                       [&](const std::string& o) { return o == "*" || o == origin; });
}

void HttpApi::AddCors(const HttpRequest& request, HttpResponse& response) const {
    if (origins_.empty())
        return;
    // Answers differ by Origin, so caches must keep them apart.
    response.headers.emplace_back("Vary", "Origin");
    if (!request.origin.empty() && OriginAllowed(request.origin))
        response.headers.emplace_back("Access-Control-Allow-Origin", request.origin);
}

HttpResponse HttpApi::Zero(const HttpRequest& request, const std::string& name) {
    if (token_.empty())
        return Error(403, "zero commands are off: the server has no token");
    if (!BearerTokenMatches(request.authorization, token_)) {
        refused_.Add(refusal::kToken);
        // The header is never written anywhere: it may hold a token that is nearly right.
        notes_.Note(ClientNote::BadToken,
                    "zero for terminal \"" + LogText(name) + "\" from " + request.peer +
                        " refused: " +
                        (request.authorization.empty() ? "no token" : "the token does not match"));
        HttpResponse r = Error(401, "a valid bearer token is required");
        r.headers.emplace_back("WWW-Authenticate", "Bearer");
        return r;
    }
    const auto reading = terminals_.ReadingOf(name);
    if (!reading)
        return JsonResponse(404, Json{{"error", "unknown terminal"}, {"terminal", name}});
    if (!IsLinked(reading->status))
        return JsonResponse(409, Json{{"error", "terminal not linked"},
                                      {"terminal", name},
                                      {"status", StatusName(reading->status)}});
    terminals_.Zero(name);
    return JsonResponse(202, Json{{"terminal", name}, {"zero", "queued"}});
}

HttpResponse HttpApi::Ready() const {
    Json notLinked = Json::array();
    for (const auto& reading : terminals_.Readings())
        if (!IsLinked(reading.status))
            notLinked.push_back(reading.terminal);
    if (notLinked.empty())
        return JsonResponse(200, Json{{"ready", true}});
    return JsonResponse(503, Json{{"ready", false}, {"not_linked", notLinked}});
}

} // namespace vesmera
