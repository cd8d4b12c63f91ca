#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "settings/test_files.h"

namespace vesmera {
namespace {

using testing::ChildProcess;
using Json = nlohmann::json;

constexpr const char* kCurl = "/usr/bin/curl";
const std::string kScales1 = "/v1/terminals/%D0%92%D0%B5%D1%81%D1%8B%201"; // "Весы 1"

struct Answer {
    int status = 0;
    std::string body; // one line: every answer here is one JSON text
};

// One request with curl: its body line, then its status on a line of its own.
Answer Curl(const std::string& url, std::vector<std::string> options = {}) {
    std::vector<std::string> argv = {kCurl, "-s", "-m", "5", "-w", "\n%{http_code}\n"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(url);
    ChildProcess curl(argv);
    Answer a;
    a.body = curl.OutputLine();
    a.status = std::stoi("0" + curl.OutputLine());
    curl.Wait();
    return a;
}

// The data of the next `reading` event of a stream, skipping heartbeats.
Json NextReading(ChildProcess& stream, std::string* id = nullptr) {
    bool reading = false;
    for (int i = 0; i < 40; ++i) {
        const std::string line = stream.OutputLine();
        if (line == "event: reading")
            reading = true;
        else if (reading && line.starts_with("id: ") && id)
            *id = line.substr(4);
        else if (reading && line.starts_with("data: "))
            return Json::parse(line.substr(6));
    }
    ADD_FAILURE() << "no reading event came";
    return {};
}

// The real server on two simulated terminals, asked with curl: readings, an event stream that
// sees a change, a zero that reaches the terminal's line, and the refusals.
TEST(HttpProgram, ServesReadingsStreamsAndZeroToCurl) {
    ChildProcess vorlen({VESMERA_TERMINAL_SIM, "--weight", "1234.56", "--log"});
    ChildProcess p643({VESMERA_TERMINAL_SIM, "--protocol", "643", "--weight", "12.5", "--unstable",
                       "--address", "3"});
    testing_files::TempDir dir;
    const std::string file = dir.File("vesmera-server.ini");
    testing_files::WriteBytes(
        file, "[Server]\nListen=127.0.0.1:0\nDecimalSeparator=,\n[HTTP]\nListen=127.0.0.1:0\n"
              "TokenFile=token\n[Весы 1]\nПорт=" +
                  vorlen.OutputLine() + "\n[Весы 2]\nПорт=" + p643.OutputLine() +
                  "\nПротокол=6.43\nКанал=3\nЗадержка(мск)=50\n");
    testing_files::WriteBytes(dir.File("token"), "e2e-T0ken\n");
    ::chmod(dir.File("token").c_str(), 0600);
    ChildProcess server({VESMERA_SERVER_BIN, "--config", file});
    EXPECT_TRUE(server.OutputLine().starts_with("listening on 127.0.0.1:"));
    const std::string http = server.OutputLine();
    ASSERT_TRUE(http.starts_with("http listening on 127.0.0.1:")) << http;
    const std::string base = "http://127.0.0.1:" + http.substr(http.rfind(':') + 1);
    ASSERT_TRUE(server.ErrorLineWith("linked"));
    ASSERT_TRUE(server.ErrorLineWith("linked"));

    const Answer one = Curl(base + kScales1);
    ASSERT_EQ(one.status, 200) << one.body;
    const Json reading = Json::parse(one.body);
    EXPECT_EQ(reading["terminal"], "Весы 1");
    EXPECT_EQ(reading["status"], "stable");
    EXPECT_EQ(reading["value"], 1234.56);
    EXPECT_EQ(reading["text"], "1234,56");
    EXPECT_GE(reading["seq"], 1);
    const Json all = Json::parse(Curl(base + "/v1/terminals").body);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1]["status"], "unstable");
    EXPECT_EQ(all[1]["value"], 12.5);

    // The stream starts with the reading as it is, then sees the change.
    ChildProcess stream({kCurl, "-sN", "-m", "20", base + kScales1 + "/events"});
    std::string id;
    EXPECT_EQ(NextReading(stream, &id)["value"], 1234.56);
    EXPECT_EQ(id, std::to_string(reading["seq"].get<int>()));
    vorlen.Input("weight 5");
    const Json changed = NextReading(stream, &id);
    EXPECT_EQ(changed["value"], 5.0);
    EXPECT_EQ(changed["text"], "5");
    EXPECT_EQ(id, std::to_string(changed["seq"].get<int>()));
    EXPECT_GT(changed["seq"], reading["seq"]);

    const std::string zero = base + kScales1 + "/zero";
    EXPECT_EQ(Curl(zero, {"-X", "POST"}).status, 401);
    EXPECT_EQ(Curl(zero, {"-X", "POST", "-H", "Authorization: Bearer e2e-T0ke"}).status, 401);
    EXPECT_EQ(Curl(base + "/v1/terminals/Nope/zero",
                   {"-X", "POST", "-H", "Authorization: Bearer e2e-T0ken"})
                  .status,
              404);
    EXPECT_EQ(Curl(base + "/v1/terminal").status, 404);
    const Answer queued = Curl(zero, {"-X", "POST", "-H", "Authorization: Bearer e2e-T0ken"});
    EXPECT_EQ(queued.status, 202) << queued.body;
    EXPECT_TRUE(vorlen.ErrorLineWith("zero"));
    EXPECT_TRUE(server.ErrorLineWith("zero for terminal \"Весы 1\" from 127.0.0.1:"));

    // A stop with a stream open ends cleanly.
    server.Signal(SIGTERM);
    const int status = server.Wait();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// HTTPS through the library's TLS, and the wrong protocol on either listener: the connection
// closes and both listeners serve on. A certificate the TLS library cannot use stops the start
// with its reason.
TEST(HttpProgram, ServesHttpsAndClosesOnTheWrongProtocol) {
    testing_files::TempDir dir;
    ChildProcess openssl({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                          "-keyout", dir.File("key.pem"), "-out", dir.File("cert.pem"), "-days",
                          "2", "-subj", "/CN=127.0.0.1"});
    ASSERT_EQ(WEXITSTATUS(openssl.Wait()), 0);
    const std::string file = dir.File("vesmera-server.ini");
    testing_files::WriteBytes(file, "[Server]\nListen=127.0.0.1:0\n[HTTP]\nListen=127.0.0.1:0\n"
                                    "Certificate=cert.pem\nKey=key.pem\n");
    ChildProcess server({VESMERA_SERVER_BIN, "--config", file});
    const std::string line = server.OutputLine();
    const std::string http = server.OutputLine();
    ASSERT_TRUE(http.starts_with("http listening on 127.0.0.1:")) << http;
    const std::string port = http.substr(http.rfind(':') + 1);
    const std::string linePort = line.substr(line.rfind(':') + 1);

    EXPECT_EQ(Curl("http://127.0.0.1:" + port + "/healthz").status, 0); // closed, no answer
    EXPECT_EQ(Curl("https://127.0.0.1:" + linePort + "/healthz", {"-k"}).status, 0);
    const Answer secure = Curl("https://127.0.0.1:" + port + "/healthz", {"-k"});
    EXPECT_EQ(secure.status, 200);
    EXPECT_EQ(secure.body, R"({"status":"ok"})");
    server.Signal(SIGTERM);
    EXPECT_EQ(WEXITSTATUS(server.Wait()), 0);

    testing_files::WriteBytes(dir.File("cert.pem"),
                              "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n");
    ChildProcess refused({VESMERA_SERVER_BIN, "--config", file});
    EXPECT_EQ(WEXITSTATUS(refused.Wait()), 1);
    const std::string errors = refused.AllErrors();
    EXPECT_NE(errors.find("\nvesmera-server: cannot serve HTTP on 127.0.0.1:"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("x509 certificate"), std::string::npos) << errors;
}

} // namespace
} // namespace vesmera
