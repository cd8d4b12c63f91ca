#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "server/client_notes.h"
#include "server/http/http_api.h"
#include "server/http/web_assets.h"
#include "server/reading_json.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::FakeLog;
using testing::FakeReadings;
using testing::FakeScheduler;

constexpr std::int64_t kAnsweredWall = 1796907600123; // 2026-12-10T13:00:00.123Z
const std::string kScalesPath = "/v1/terminals/%D0%92%D0%B5%D1%81%D1%8B%201"; // "Весы 1"
const std::string kScalesJson =
    R"({"terminal":"Весы 1","seq":7,"status":"stable","code":-5002,"value":1234.56,)"
    R"("text":"1234,56","stable":true,"time":"2026-12-10T13:00:00.123Z","age_ms":40})";
const std::string kSlashJson =
    R"({"terminal":"A/B","seq":1,"status":"port_error","code":-5003,"value":null,"text":null,)"
    R"("stable":false,"time":null,"age_ms":null})";
const std::string kStartingJson =
    R"({"terminal":"Пуск","seq":0,"status":"starting","code":-5003,"value":null,"text":null,)"
    R"("stable":false,"time":null,"age_ms":null})";

Reading WithSeq(Reading r, std::uint64_t seq) {
    r.seq = seq;
    return r;
}

// Three terminals in configuration order: a stable weight, a name with a '/' on a port that
// failed, and one not yet polled. The clock stands 40 ms after the first one's answer.
struct Api {
    Api() {
        terminals.readings = {
            WithSeq(BuildReading("Весы 1", {1234.56L, kStatusStable, 0},
                                 AnswerTime{kAnsweredWall, 0}, ','),
                    7),
            WithSeq(BuildReading("A/B", {kPortFailed, kStatusStable, 0}, std::nullopt, ','), 1),
            BuildReading("Пуск", {kNoTerminalLink, kStatusUnstable, 0}, std::nullopt, ',')};
        clock.Advance(40);
        api.SetToken("s3cret");
        api.SetAllowOrigins({"http://pos.example"});
    }
    FakeScheduler clock;
    FakeReadings terminals;
    FakeLog log;
    ClientNotes notes{clock, log};
    Metrics metrics;
    LabelledCounter refused;
    HttpApi api{terminals, clock, notes, metrics, refused};
};

HttpRequest Request(std::string method, std::string path) {
    HttpRequest r;
    r.method = std::move(method);
    r.path = std::move(path);
    r.peer = "10.0.0.9:5555";
    return r;
}

HttpRequest Get(std::string path) {
    return Request("GET", std::move(path));
}

HttpRequest Zero(std::string path, std::string authorization, bool body = false) {
    HttpRequest r = Request("POST", std::move(path));
    r.authorization = std::move(authorization);
    r.hasBody = body;
    return r;
}

HttpRequest WithOrigin(HttpRequest r, std::string origin, std::string preflight = "") {
    r.origin = std::move(origin);
    r.preflightMethod = std::move(preflight);
    return r;
}

struct ApiRow {
    ApiRow(const char* n, HttpRequest r, int s, std::string b)
        : name(n), request(std::move(r)), status(s), body(std::move(b)) {}
    ApiRow With(std::vector<std::string> h, std::vector<std::string> a = {}) && {
        headers = std::move(h);
        absent = std::move(a);
        return std::move(*this);
    }
    ApiRow Refused(std::string reason) && {
        refused = std::move(reason);
        return std::move(*this);
    }
    ApiRow Zeroes(std::string terminal) && {
        zeros = {std::move(terminal)};
        return std::move(*this);
    }

    const char* name;
    HttpRequest request;
    int status;
    std::string body;
    std::vector<std::string> headers; // "Name: value", each among the response's
    std::vector<std::string> absent;  // header names the response must not carry
    std::string refused;              // the refusal counted, if any
    std::vector<std::string> zeros;   // terminals whose zero was queued
};

class HttpApiTest : public ::testing::TestWithParam<ApiRow> {};

TEST_P(HttpApiTest, Answers) {
    const auto& row = GetParam();
    Api a;
    const HttpResponse r = a.api.Handle(row.request);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.body, row.body);
    std::vector<std::string> headers;
    for (const auto& [name, value] : r.headers)
        headers.push_back(name + ": " + value);
    for (const auto& h : row.headers)
        EXPECT_NE(std::find(headers.begin(), headers.end(), h), headers.end()) << h;
    for (const auto& name : row.absent)
        for (const auto& [n, v] : r.headers)
            EXPECT_NE(n, name);
    EXPECT_EQ(a.terminals.zeros, row.zeros);
    EXPECT_FALSE(r.stream);
    if (!row.refused.empty()) {
        EXPECT_EQ(a.refused.Count(row.refused), 1u);
    }
    // Nothing a client sends is logged unless it was refused, and a token never.
    for (const auto& line : a.log.lines)
        EXPECT_EQ(line.find("s3cre"), std::string::npos) << line;
}

const std::string kNotFound = R"({"error":"not found"})";
const std::string kBadPath =
    R"({"error":"bad path: broken escape, NUL, text that is not UTF-8, or a dot segment"})";
const std::string kNeedToken = R"({"error":"a valid bearer token is required"})";

INSTANTIATE_TEST_SUITE_P(
    Routes, HttpApiTest,
    ::testing::Values(
        ApiRow("OneReading", Get(kScalesPath), 200, kScalesJson).With({"Cache-Control: no-store"}),
        ApiRow("HeadAnswersAsGet", Request("HEAD", kScalesPath), 200, kScalesJson),
        ApiRow("EncodedSlashInAName", Get("/v1/terminals/A%2fB"), 200, kSlashJson),
        ApiRow("AllInConfigurationOrder", Get("/v1/terminals"), 200,
               "[" + kScalesJson + "," + kSlashJson + "," + kStartingJson + "]"),
        // Names match exactly, as the line protocol matches them.
        ApiRow("NameInOtherCase", Get("/v1/terminals/%D0%B2%D0%B5%D1%81%D1%8B%201"), 404,
               R"({"error":"unknown terminal","terminal":"весы 1"})"),
        ApiRow("EmptyName", Get("/v1/terminals/"), 404,
               R"({"error":"unknown terminal","terminal":""})"),
        ApiRow("UnknownPath", Get("/v2"), 404, kNotFound),
        ApiRow("SlashUnencoded", Get("/v1/terminals/A/B"), 404, kNotFound),
        ApiRow("BrokenEscape", Get("/v1/terminals/%zz"), 400, kBadPath).Refused("bad_request"),
        ApiRow("CutEscape", Get("/v1/terminals/A%2"), 400, kBadPath),
        ApiRow("EncodedNul", Get("/v1/terminals/A%00B"), 400, kBadPath),
        ApiRow("OverlongUtf8", Get("/v1/terminals/%C0%AF"), 400, kBadPath),
        ApiRow("RawInvalidUtf8", Get("/v1/terminals/\xff"), 400, kBadPath),
        ApiRow("DotDot", Get("/v1/terminals/../../etc/passwd"), 400, kBadPath),
        ApiRow("EncodedDotDot", Get("/v1/%2e%2E/v1"), 400, kBadPath),
        ApiRow("WrongMethod", Request("DELETE", "/v1/terminals"), 405,
               R"({"error":"method not allowed"})")
            .With({"Allow: GET, HEAD, OPTIONS"}),
        ApiRow("GetOnACommand", Get("/v1/terminals/A%2FB/zero"), 405,
               R"({"error":"method not allowed"})")
            .With({"Allow: POST, OPTIONS"}),
        ApiRow("UnknownStream", Get("/v1/terminals/Nope/events"), 404,
               R"({"error":"unknown terminal","terminal":"Nope"})"),
        ApiRow("Ready", Get("/readyz"), 503, R"({"ready":false,"not_linked":["A/B","Пуск"]})"),
        ApiRow("Healthy", Get("/healthz"), 200, R"({"status":"ok"})"),
        // The zero command.
        ApiRow("ZeroQueued", Zero(kScalesPath + "/zero", "Bearer s3cret"), 202,
               R"({"terminal":"Весы 1","zero":"queued"})")
            .Zeroes("Весы 1"),
        ApiRow("SchemeInAnyCase", Zero(kScalesPath + "/zero", "bearer  s3cret"), 202,
               R"({"terminal":"Весы 1","zero":"queued"})")
            .Zeroes("Весы 1"),
        ApiRow("NoToken", Zero(kScalesPath + "/zero", ""), 401, kNeedToken)
            .With({"WWW-Authenticate: Bearer"})
            .Refused("token"),
        ApiRow("TokenCut", Zero(kScalesPath + "/zero", "Bearer s3cre"), 401, kNeedToken)
            .Refused("token"),
        ApiRow("TokenLonger", Zero(kScalesPath + "/zero", "Bearer s3cret1"), 401, kNeedToken),
        ApiRow("TokenInOtherScheme", Zero(kScalesPath + "/zero", "Basic s3cret"), 401, kNeedToken),
        ApiRow("TokenAlone", Zero(kScalesPath + "/zero", "s3cret"), 401, kNeedToken),
        ApiRow("ZeroUnknown", Zero("/v1/terminals/Nope/zero", "Bearer s3cret"), 404,
               R"({"error":"unknown terminal","terminal":"Nope"})"),
        ApiRow("ZeroOnAFailedPort", Zero("/v1/terminals/A%2FB/zero", "Bearer s3cret"), 409,
               R"({"error":"terminal not linked","terminal":"A/B","status":"port_error"})"),
        ApiRow("ZeroBeforeFirstAnswer",
               Zero("/v1/terminals/%D0%9F%D1%83%D1%81%D0%BA/zero", "Bearer s3cret"), 409,
               R"({"error":"terminal not linked","terminal":"Пуск","status":"starting"})"),
        ApiRow("ZeroWithABody", Zero(kScalesPath + "/zero", "Bearer s3cret", true), 413,
               R"({"error":"requests carry no body"})")
            .Refused("too_large"),
        // CORS: listed origins may read; preflight for listed origins and allowed methods.
        ApiRow("ListedOriginReads", WithOrigin(Get("/healthz"), "http://pos.example"), 200,
               R"({"status":"ok"})")
            .With({"Access-Control-Allow-Origin: http://pos.example", "Vary: Origin"}),
        ApiRow("OtherOriginDoesNot", WithOrigin(Get("/healthz"), "http://pos.example.evil"), 200,
               R"({"status":"ok"})")
            .With({"Vary: Origin"}, {"Access-Control-Allow-Origin"}),
        ApiRow("Preflight",
               WithOrigin(Request("OPTIONS", kScalesPath + "/zero"), "http://pos.example", "POST"),
               204, "")
            .With({"Access-Control-Allow-Origin: http://pos.example",
                   "Access-Control-Allow-Methods: POST, OPTIONS",
                   "Access-Control-Allow-Headers: Authorization", "Access-Control-Max-Age: 600"}),
        ApiRow("PreflightOtherOrigin",
               WithOrigin(Request("OPTIONS", "/v1/terminals"), "http://evil.example", "GET"), 403,
               R"({"error":"origin not allowed"})")
            .With({}, {"Access-Control-Allow-Origin"}),
        ApiRow("PreflightOtherMethod",
               WithOrigin(Request("OPTIONS", "/v1/terminals"), "http://pos.example", "DELETE"), 403,
               R"({"error":"method not allowed for this origin"})"),
        ApiRow("PlainOptions", Request("OPTIONS", "/v1/terminals"), 204, "")
            .With({"Allow: GET, HEAD, OPTIONS"}, {"Access-Control-Allow-Methods"})),
    [](const auto& info) { return info.param.name; });

TEST(HttpApi, ThePageComesFromTheBinaryWithRelativeAddressesAndItsPolicy) {
    Api a;
    const auto header = [](const HttpResponse& r, const std::string& name) {
        for (const auto& [n, v] : r.headers)
            if (n == name)
                return v;
        return std::string();
    };
    const HttpResponse page = a.api.Handle(Get("/"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html;charset=utf-8");
    EXPECT_EQ(header(page, "Content-Security-Policy"), kPagePolicy);
    EXPECT_EQ(header(page, "X-Content-Type-Options"), "nosniff");
    // Behind a proxy's path prefix only relative addresses reach the server, and the policy
    // allows no inline script or style.
    EXPECT_NE(page.body.find(R"(<script src="app.js")"), std::string::npos);
    EXPECT_NE(page.body.find(R"(href="app.css")"), std::string::npos);
    EXPECT_EQ(page.body.find("<script>"), std::string::npos);
    EXPECT_EQ(page.body.find("<style"), std::string::npos);
    EXPECT_EQ(page.body.find("=\"/"), std::string::npos);
    const HttpResponse script = a.api.Handle(Get("/app.js"));
    EXPECT_EQ(script.contentType, "text/javascript;charset=utf-8");
    EXPECT_NE(script.body.find("new EventSource('v1/events')"), std::string::npos);
    EXPECT_EQ(a.api.Handle(Get("/app.css")).contentType, "text/css;charset=utf-8");
    EXPECT_EQ(a.api.Handle(Get("/favicon.ico")).status, 404);
    HttpRequest post = Get("/");
    post.method = "POST";
    EXPECT_EQ(a.api.Handle(post).status, 405);
}

TEST(HttpApi, RefusedTokensAreLoggedWithoutTheToken) {
    Api a;
    a.api.Handle(Zero(kScalesPath + "/zero", "Bearer wrong-s3cret"));
    a.api.Handle(Zero(kScalesPath + "/zero", "Bearer s3"));
    a.api.Handle(Zero(kScalesPath + "/zero", ""));
    a.clock.Advance(1000); // a client cannot flood the log: the rest a second later, counted
    EXPECT_EQ(
        a.log.lines,
        (std::vector<std::string>{
            "zero for terminal \"Весы 1\" from 10.0.0.9:5555 refused: the token does not match",
            "zero for terminal \"Весы 1\" from 10.0.0.9:5555 refused: the token does not match "
            "(1 more)"}));
    EXPECT_EQ(a.refused.Count("token"), 3u);
}

TEST(HttpApi, TokenAndOriginsChangeAtOnceAndNoTokenTurnsCommandsOff) {
    Api a;
    const auto info = [&] { return nlohmann::json::parse(a.api.Handle(Get("/v1")).body); };
    EXPECT_EQ(info()["zero"], true);
    a.api.SetToken("n3w");
    EXPECT_EQ(a.api.Handle(Zero(kScalesPath + "/zero", "Bearer s3cret")).status, 401);
    EXPECT_EQ(a.api.Handle(Zero(kScalesPath + "/zero", "Bearer n3w")).status, 202);
    a.api.SetToken("");
    EXPECT_EQ(info()["zero"], false);
    const HttpResponse off = a.api.Handle(Zero(kScalesPath + "/zero", "Bearer "));
    EXPECT_EQ(off.status, 403);
    EXPECT_EQ(off.body, R"({"error":"zero commands are off: the server has no token"})");
    EXPECT_EQ(a.terminals.zeros, std::vector<std::string>{"Весы 1"});

    a.api.SetAllowOrigins({"*"});
    const HttpResponse any = a.api.Handle(WithOrigin(Get("/healthz"), "https://any.example"));
    EXPECT_EQ(any.headers.back(), (std::pair<std::string, std::string>{
                                      "Access-Control-Allow-Origin", "https://any.example"}));
    a.api.SetAllowOrigins({});
    EXPECT_TRUE(a.api.Handle(WithOrigin(Get("/healthz"), "https://any.example")).headers.size() ==
                1); // Cache-Control alone
}

TEST(HttpApi, StreamsAndResourcesAreRoutesLikeTheOthers) {
    Api a;
    const HttpResponse all = a.api.Handle(Get("/v1/events"));
    ASSERT_TRUE(all.stream);
    EXPECT_FALSE(all.stream->terminal);
    const HttpResponse one = a.api.Handle(Get("/v1/terminals/A%2FB/events"));
    ASSERT_TRUE(one.stream);
    EXPECT_EQ(one.stream->terminal, "A/B");

    a.api.AddResource("/extra.js", "text/javascript; charset=utf-8", "let x = 1;\n");
    const HttpResponse js = a.api.Handle(Get("/extra.js"));
    EXPECT_EQ(js.status, 200);
    EXPECT_EQ(js.contentType, "text/javascript; charset=utf-8");
    EXPECT_EQ(js.body, "let x = 1;\n");
    EXPECT_EQ(a.api.Handle(Request("POST", "/extra.js")).status, 405);
}

TEST(Metrics, RendersTheTerminalsAndCountersInTheTextFormat) {
    Api a;
    a.terminals.readings.resize(2);
    a.terminals.readings[1].terminal = "Back\\slash \"quoted\"\nline";
    a.terminals.polls = {{120, 3}, {0, 11}};
    Metrics metrics;
    AddTerminalMetrics(metrics, a.terminals);
    LabelledCounter refused;
    refused.Add("token", 2);
    metrics.Add("vesmera_refused_total", "Refused, by reason.", MetricType::Counter,
                refused.Source("reason"));
    metrics.Add("vesmera_clients", "Clients.", MetricType::Gauge, [](std::vector<MetricSample>& s) {
        s.push_back({{{"protocol", "line"}}, 3});
    });
    metrics.Add("vesmera_clients", "ignored: the family has its text", MetricType::Gauge,
                [](std::vector<MetricSample>& s) {
                    s.push_back({{{"protocol", "mqtt"}}, 1});
                });
    const std::string n = R"(terminal="Back\\slash \"quoted\"\nline")";
    std::string statuses;
    for (const auto status : kReadingStatuses)
        statuses += "vesmera_terminal_status{terminal=\"Весы 1\",status=\"" +
                    std::string(StatusName(status)) + "\"} " +
                    (status == ReadingStatus::Stable ? "1" : "0") + "\n";
    for (const auto status : kReadingStatuses)
        statuses += "vesmera_terminal_status{" + n + ",status=\"" +
                    std::string(StatusName(status)) + "\"} " +
                    (status == ReadingStatus::PortError ? "1" : "0") + "\n";
    EXPECT_EQ(metrics.Render(),
              "# HELP vesmera_terminal_up Whether the terminal answers its polls (1) or not (0).\n"
              "# TYPE vesmera_terminal_up gauge\n"
              "vesmera_terminal_up{terminal=\"Весы 1\"} 1\n"
              "vesmera_terminal_up{" +
                  n +
                  "} 0\n"
                  "# HELP vesmera_terminal_status The terminal's status: 1 for the one it is in.\n"
                  "# TYPE vesmera_terminal_status gauge\n" +
                  statuses +
                  "# HELP vesmera_polls_total Polls of the terminal, by result.\n"
                  "# TYPE vesmera_polls_total counter\n"
                  "vesmera_polls_total{terminal=\"Весы 1\",result=\"ok\"} 120\n"
                  "vesmera_polls_total{terminal=\"Весы 1\",result=\"failed\"} 3\n"
                  "vesmera_polls_total{" +
                  n +
                  ",result=\"ok\"} 0\n"
                  "vesmera_polls_total{" +
                  n +
                  ",result=\"failed\"} 11\n"
                  "# HELP vesmera_last_reading_timestamp_seconds When the terminal last answered a "
                  "poll, in seconds since the epoch.\n"
                  "# TYPE vesmera_last_reading_timestamp_seconds gauge\n"
                  "vesmera_last_reading_timestamp_seconds{terminal=\"Весы 1\"} 1796907600.123\n"
                  "# HELP vesmera_refused_total Refused, by reason.\n"
                  "# TYPE vesmera_refused_total counter\n"
                  "vesmera_refused_total{reason=\"token\"} 2\n"
                  "# HELP vesmera_clients Clients.\n"
                  "# TYPE vesmera_clients gauge\n"
                  "vesmera_clients{protocol=\"line\"} 3\n"
                  "vesmera_clients{protocol=\"mqtt\"} 1\n");
}

} // namespace
} // namespace vesmera
