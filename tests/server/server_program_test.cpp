#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "net/tcp_line_channel.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::ChildProcess;

// A folder of its own for each test's configuration.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/vesmera-server-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

private:
    std::string path_;
};

struct CheckRow {
    const char* name;
    std::string ini;
    int exitCode;
    std::string errors; // all of standard error, the file's path written as FILE
};

class ServerCheckTest : public ::testing::TestWithParam<CheckRow> {};

// --check and a start share the rules and the messages; only a sound file starts, and a start
// refused for its file exits with 78 (EX_CONFIG), which the unit does not restart.
TEST_P(ServerCheckTest, ValidatesTheFile) {
    TempDir dir;
    const std::string file = dir.Write("vesmera-server.ini", GetParam().ini);
    std::string expected = GetParam().errors;
    for (std::size_t at; (at = expected.find("FILE")) != std::string::npos;)
        expected.replace(at, 4, file);
    ChildProcess check({VESMERA_SERVER_BIN, "--config", file, "--check"});
    EXPECT_EQ(WEXITSTATUS(check.Wait()), GetParam().exitCode);
    EXPECT_EQ(check.AllErrors(), expected);
    if (GetParam().exitCode == 0)
        return;
    ChildProcess start({VESMERA_SERVER_BIN, "--config", file});
    EXPECT_EQ(WEXITSTATUS(start.Wait()), 78);
    EXPECT_EQ(start.AllErrors(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ServerCheckTest,
    ::testing::Values(
        CheckRow{"Sound", "[Server]\nListen=127.0.0.1:0\n[A]\nПорт=/dev/null\n", 0, ""},
        CheckRow{
            "HttpFilesUnreadable",
            "[HTTP]\nCertificate=/nonexistent/c.pem\nKey=/nonexistent/k.pem\n[A]\nПорт=/dev/null\n",
            1,
            "FILE: [HTTP] Certificate: cannot read /nonexistent/c.pem: No such file or "
            "directory\n"
            "FILE: [HTTP] Key: secret file /nonexistent/k.pem cannot be read: No such file or "
            "directory\n"},
        CheckRow{"UnknownKeyWarns", "[A]\nПорт=/dev/null\nЦвет1=clRed\n", 0,
                 "FILE: warning: unknown key \"Цвет1\" in section \"A\" ignored\n"},
        CheckRow{"WarningsStartAnyway", "[Server]\nListen=0.0.0.0:0\n", 0,
                 "FILE: warning: Listen: 0.0.0.0:0 takes clients from every address, and no "
                 "Allow= limits them\n"
                 "FILE: warning: no terminal section: the server has nothing to serve\n"},
        CheckRow{"Problems",
                 "[Server]\nListen=[::1]:5000,nowhere:1\nMaxClients=abc\n[Весы]\nПротокол=?\n"
                 "[ВЕСЫ]\n[SetNullB]\nПорт=Com1\nСкорость обмена=12345\n[C]\nПорт=/dev/ttyS0\n"
                 "[C]\n",
                 1,
                 "FILE: Listen: cannot parse the address \"nowhere:1\"\n"
                 "FILE: MaxClients: must be a positive whole number, not \"abc\"\n"
                 "FILE: terminal \"Весы\": \"Порт\" is missing\n"
                 "FILE: terminal \"Весы\": unknown protocol \"?\"\n"
                 "FILE: sections \"Весы\" and \"ВЕСЫ\" differ only in letter case\n"
                 "FILE: terminal \"SetNullB\": \"Скорость обмена\" must be one of 9600, 14400, "
                 "19200, 38400, 57600, not \"12345\"\n"
                 "FILE: terminal \"SetNullB\": a name may not begin with \"SetNull\" (it would "
                 "read as a zero request)\n"
                 "FILE: terminals \"SetNullB\" and \"C\" use the same port \"/dev/ttyS0\"\n"
                 "FILE: section \"C\" is given twice\n"}),
    [](const auto& info) { return info.param.name; });

TEST(ServerCheck, MissingFileIsAProblem) {
    const std::string message =
        "/nonexistent/v.ini: cannot read /nonexistent/v.ini: No such file or directory\n";
    ChildProcess check({VESMERA_SERVER_BIN, "--config", "/nonexistent/v.ini", "--check"});
    EXPECT_EQ(WEXITSTATUS(check.Wait()), 1);
    EXPECT_EQ(check.AllErrors(), message);
    ChildProcess start({VESMERA_SERVER_BIN, "--config", "/nonexistent/v.ini"});
    EXPECT_EQ(WEXITSTATUS(start.Wait()), 78);
    EXPECT_EQ(start.AllErrors(), message);
}

struct ArgumentsRow {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string output; // the first line of standard output
    bool usageOnErrors;
};

class ServerArgumentsTest : public ::testing::TestWithParam<ArgumentsRow> {};

// --version stands alone; anything the server does not know is a usage error, never a start.
TEST_P(ServerArgumentsTest, AnswersWithoutStarting) {
    std::vector<std::string> command{VESMERA_SERVER_BIN};
    command.insert(command.end(), GetParam().args.begin(), GetParam().args.end());
    ChildProcess server(command);
    EXPECT_EQ(WEXITSTATUS(server.Wait()), GetParam().exitCode);
    if (!GetParam().output.empty()) {
        EXPECT_EQ(server.OutputLine(), GetParam().output);
    }
    EXPECT_EQ(server.AllErrors().starts_with("usage: vesmera-server"), GetParam().usageOnErrors)
        << server.AllErrors();
}

// The file this build reads without --config.
std::string DefaultConfig() {
    const std::string configured = VESMERA_SERVER_CONFIG;
    return configured.empty() ? std::filesystem::path(VESMERA_SERVER_BIN).parent_path().string() +
                                    "/vesmera-server.ini"
                              : configured;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ServerArgumentsTest,
    ::testing::Values(
        ArgumentsRow{"Version", {"--version"}, 0, "vesmera-server " VESMERA_VERSION, false},
        ArgumentsRow{"VersionWithOthers", {"--version", "--check"}, 2, "", true},
        ArgumentsRow{"Unknown", {"--verbose"}, 2, "", true},
        ArgumentsRow{"ConfigWithoutFile", {"--config"}, 2, "", true},
        ArgumentsRow{"HelpNamesTheDefault",
                     {"--help"},
                     0,
                     "usage: vesmera-server [--config FILE] [--check] | --version",
                     false}),
    [](const auto& info) { return info.param.name; });

// Without --config the server reads the file the build names: beside the executable unless a
// package build fixed a path.
TEST(ServerCheck, WithoutConfigReadsTheBuildsDefault) {
    const std::string file = DefaultConfig();
    if (std::filesystem::exists(file))
        GTEST_SKIP() << file << " exists";
    ChildProcess check({VESMERA_SERVER_BIN, "--check"});
    EXPECT_EQ(WEXITSTATUS(check.Wait()), 1);
    EXPECT_EQ(check.AllErrors(), file + ": cannot read " + file + ": No such file or directory\n");
}

// A log line without its local time, which must lead it in ISO 8601 form with milliseconds
// ("2026-12-10T13:00:00.123+00:00 "; in the shape, 9 stands for a digit and + for either sign).
std::string Unstamped(const std::string& line) {
    constexpr std::string_view shape = "9999-99-99T99:99:99.999+99:99 ";
    bool stamped = line.size() >= shape.size();
    for (std::size_t i = 0; stamped && i < shape.size(); ++i) {
        const char c = line[i];
        stamped = shape[i] == '9'   ? c >= '0' && c <= '9'
                  : shape[i] == '+' ? c == '+' || c == '-'
                                    : c == shape[i];
    }
    EXPECT_TRUE(stamped) << line;
    return stamped ? line.substr(shape.size()) : line;
}

// Runs one operation of the display's line channel to its end. The server answers in real
// time, so the fake clock moves on only when no socket has stirred for a second.
LineResult Finish(testing::FakeScheduler& scheduler, const std::function<void(LineDone)>& start) {
    std::optional<LineResult> result;
    start([&result](const LineResult& r) { result = r; });
    for (int i = 0; i < 1000 && !result; ++i) {
        scheduler.Advance(0);
        if (result || scheduler.PumpDescriptors(1000) > 0)
            continue;
        if (!scheduler.RunNextTimer())
            break;
    }
    return result.value_or(LineResult{LineChannelError(LineFailure::ReadTimedOut), {}});
}

// One poll on the display's own line channel: the weight line and the status line.
std::string Poll(testing::FakeScheduler& scheduler, TcpLineChannel& channel,
                 const std::string& name) {
    Finish(scheduler, [&](LineDone done) { channel.WriteLn(name, std::move(done)); });
    const std::string weight =
        Finish(scheduler, [&](LineDone done) { channel.ReadLn(std::move(done)); }).line;
    return weight + " " +
           Finish(scheduler, [&](LineDone done) { channel.ReadLn(std::move(done)); }).line;
}

// The display's channel is only ever given address literals here.
struct NoLookups final : IResolver {
    Ticket Resolve(const std::string&, Done) override { return 0; }
    void Cancel(Ticket) override {}
};

// The real server on two simulated terminals (pseudo-terminals), asked by the display's line
// channel over IPv4 and IPv6.
TEST(ServerProgram, ServesTwoTerminalsOnPtysUntilSigterm) {
    ChildProcess vorlen({VESMERA_TERMINAL_SIM, "--weight", "1234.56", "--log"});
    ChildProcess p643({VESMERA_TERMINAL_SIM, "--protocol", "643", "--weight", "12.5", "--unstable",
                       "--address", "3"});
    TempDir dir;
    const std::string file = dir.Write(
        "vesmera-server.ini",
        "[Server]\r\nListen=127.0.0.1:0,[::1]:0\r\nDecimalSeparator=,\r\n[Весы 1]\r\nПорт=" +
            vorlen.OutputLine() + "\r\n[Весы 2]\r\nПорт=" + p643.OutputLine() +
            "\r\nПротокол=6.43\r\nКанал=3\r\nЗадержка(мск)=50\r\n[Пусто]\r\nПорт=/nonexistent\r\n");
    ChildProcess server({VESMERA_SERVER_BIN, "--config", file});
    const std::string v4 = server.OutputLine();
    const std::string v6 = server.OutputLine();
    ASSERT_TRUE(v4.starts_with("listening on 127.0.0.1:")) << v4;
    ASSERT_TRUE(v6.starts_with("listening on [::1]:")) << v6;
    // The port error is said at start; both terminals are linked after their first poll.
    std::vector<std::string> log;
    for (int i = 0; i < 3; ++i)
        log.push_back(Unstamped(server.ErrorLine()));
    std::sort(log.begin(), log.end());
    EXPECT_EQ(log, (std::vector<std::string>{
                       "terminal \"Весы 1\": linked", "terminal \"Весы 2\": linked",
                       "terminal \"Пусто\": port error: Unable to open com port (Error: 2): No "
                       "such file or directory"}));

    testing::FakeScheduler scheduler;
    NoLookups resolver;
    TcpLineChannel channel(scheduler, resolver);
    channel.SetHost("127.0.0.1");
    channel.SetPort(static_cast<std::uint16_t>(std::stoi(v4.substr(v4.rfind(':') + 1))));
    channel.SetConnectTimeout(1000);
    channel.SetReadTimeout(2000);
    ASSERT_TRUE(Finish(scheduler, [&](LineDone done) { channel.Connect(std::move(done)); }).Ok());
    EXPECT_EQ(Poll(scheduler, channel, "Весы 1"), "1234,56 -5002");
    EXPECT_EQ(Poll(scheduler, channel, "Весы 2"), "12,5 -5003");
    EXPECT_EQ(Poll(scheduler, channel, "Пусто"), "-5006 -5003");
    EXPECT_EQ(Poll(scheduler, channel, "весы 1"), "-5000 -5003");
    EXPECT_EQ(Poll(scheduler, channel, ""), "-5000 -5003");
    Finish(scheduler, [&](LineDone done) { channel.WriteLn("SetNullВесы 1", std::move(done)); });
    // Not answered: the next reply is a poll's.
    EXPECT_EQ(Poll(scheduler, channel, "Весы 1"), "1234,56 -5002");
    EXPECT_TRUE(vorlen.ErrorLineWith("zero"));

    // A plain socket asks over IPv6.
    const int v6socket = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<std::uint16_t>(std::stoi(v6.substr(v6.rfind(':') + 1))));
    address.sin6_addr = in6addr_loopback;
    const timeval cap{testing::kChildCapMs / 1000, 0};
    ::setsockopt(v6socket, SOL_SOCKET, SO_RCVTIMEO, &cap, sizeof cap);
    ASSERT_EQ(::connect(v6socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = "Весы 2\n", reply = "12,5\r\n-5003\r\n";
    ASSERT_EQ(::send(v6socket, request.data(), request.size(), 0), ssize_t(request.size()));
    std::string got(reply.size(), '\0');
    EXPECT_EQ(::recv(v6socket, got.data(), got.size(), MSG_WAITALL), ssize_t(reply.size()));
    EXPECT_EQ(got, reply);
    ::close(v6socket);

    server.Signal(SIGTERM);
    const int status = server.Wait();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

int ConnectIPv4(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval cap{testing::kChildCapMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &cap, sizeof cap);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Standard error is a pipe the parent shares and nobody reads, full before the server starts:
// every log line finds it full. Polls are answered all the same, the shared description stays
// blocking as the parent made it, and the log comes out once the pipe is read.
TEST(ServerProgram, AnswersWhileStandardErrorIsAFullPipe) {
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const int reader = pipeFds[0], writer = pipeFds[1];
    ::fcntl(writer, F_SETPIPE_SZ, 4096);
    ::fcntl(writer, F_SETFL, O_NONBLOCK);
    const std::string filler(4096, '.');
    std::size_t filled = 0;
    for (ssize_t n; (n = ::write(writer, filler.data(), filler.size())) > 0;)
        filled += static_cast<std::size_t>(n);
    ::fcntl(writer, F_SETFL, 0);

    ChildProcess vorlen({VESMERA_TERMINAL_SIM, "--weight", "12.5"});
    TempDir dir;
    const std::string file = dir.Write(
        "vesmera-server.ini", "[Server]\nListen=127.0.0.1:0\n[Весы]\nПорт=" + vorlen.OutputLine() +
                                  "\n[Пусто]\nПорт=/nonexistent\n");
    ChildProcess server({VESMERA_SERVER_BIN, "--config", file}, writer);
    const std::string listening = server.OutputLine();
    ASSERT_TRUE(listening.starts_with("listening on 127.0.0.1:")) << listening;
    const int client = ConnectIPv4(
        static_cast<std::uint16_t>(std::stoi(listening.substr(listening.rfind(':') + 1))));
    // Zero requests for unknown names make notes of their own; then polls until the terminal
    // has answered the server (its "linked" line is another write that finds the pipe full).
    std::string zeros;
    for (int i = 0; i < 100; ++i)
        zeros += "SetNullnobody\n";
    ASSERT_EQ(::send(client, zeros.data(), zeros.size(), 0), ssize_t(zeros.size()));
    std::string reply;
    for (int i = 0; i < 100 && reply != "12,5\r\n-5002\r\n"; ++i) {
        const std::string request = "Весы\n";
        ASSERT_EQ(::send(client, request.data(), request.size(), 0), ssize_t(request.size()));
        reply.clear();
        char c = 0;
        for (int lines = 0; lines < 2 && ::recv(client, &c, 1, 0) == 1;) {
            reply += c;
            lines += c == '\n';
        }
        ::usleep(20000);
    }
    EXPECT_EQ(reply, "12,5\r\n-5002\r\n");
    EXPECT_EQ(::fcntl(writer, F_GETFL) & O_NONBLOCK, 0);

    // Read the pipe: the filler, then the log that waited for room.
    std::string log;
    char bytes[4096];
    for (int i = 0; i < 100 && log.find("linked") == std::string::npos; ++i) {
        pollfd ready{reader, POLLIN, 0};
        if (::poll(&ready, 1, testing::kChildCapMs) <= 0)
            break;
        const ssize_t n = ::read(reader, bytes, sizeof bytes);
        if (n <= 0)
            break;
        log.append(bytes, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(log.substr(0, filled), std::string(filled, '.'));
    EXPECT_NE(log.find("terminal \"Пусто\": port error"), std::string::npos) << log;
    EXPECT_NE(log.find("for unknown terminal \"nobody\" ignored"), std::string::npos) << log;
    EXPECT_NE(log.find("terminal \"Весы\": linked"), std::string::npos) << log;
    ::close(client);
    server.Signal(SIGTERM);
    EXPECT_EQ(WEXITSTATUS(server.Wait()), 0);
    ::close(reader);
    ::close(writer);
}
// A loopback port that something else listens on, "127.0.0.1:PORT".
class TakenPort {
public:
    TakenPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(fd_, 1), 0);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        endpoint = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~TakenPort() { ::close(fd_); }
    std::string endpoint;

private:
    int fd_;
};

TEST(ServerProgram, AddressInUseEndsTheStartWithTheReason) {
    const TakenPort taken;
    const std::string& endpoint = taken.endpoint;
    TempDir dir;
    const std::string file =
        dir.Write("vesmera-server.ini", "[Server]\nListen=127.0.0.1:0, " + endpoint + "\n");
    ChildProcess server({VESMERA_SERVER_BIN, "--config", file});
    EXPECT_TRUE(server.OutputLine().starts_with("listening on 127.0.0.1:"));
    EXPECT_EQ(WEXITSTATUS(server.Wait()), 1);
    EXPECT_EQ(server.AllErrors(),
              file +
                  ": warning: no terminal section: the server has nothing to serve\n"
                  "vesmera-server: cannot listen on " +
                  endpoint + ": Address already in use\n");
}

// A flood of connections past the descriptor limit: the clients beyond it are taken and closed
// at once (the listener would otherwise stay ready and the loop spin), and those admitted are
// served on.
TEST(ServerProgram, RefusesClientsPastTheDescriptorLimitAndServesOn) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' runtime opens descriptors of its own to check memory on every virtual
    // call; at the limit those checks fail and abort the server, whatever the server does.
    GTEST_SKIP() << "runs only without the sanitizers";
#endif
    TempDir dir;
    const std::string file = dir.Write("vesmera-server.ini", "[Server]\nListen=127.0.0.1:0\n");
    ChildProcess server(
        {"/usr/bin/prlimit", "--nofile=24:24", VESMERA_SERVER_BIN, "--config", file});
    const std::string listening = server.OutputLine();
    ASSERT_TRUE(listening.starts_with("listening on 127.0.0.1:")) << listening;
    const auto port =
        static_cast<std::uint16_t>(std::stoi(listening.substr(listening.rfind(':') + 1)));
    std::vector<int> clients;
    for (int i = 0; i < 40; ++i)
        clients.push_back(ConnectIPv4(port));
    // The last client is one too many: its connection ends without a reply.
    char byte = 0;
    EXPECT_EQ(::recv(clients.back(), &byte, 1, 0), 0);
    EXPECT_TRUE(server.ErrorLineWith("client refused: the server has no descriptor left"));
    const std::string request = "x\n", reply = "-5000\r\n-5003\r\n";
    ASSERT_EQ(::send(clients.front(), request.data(), request.size(), 0), ssize_t(request.size()));
    std::string got(reply.size(), '\0');
    EXPECT_EQ(::recv(clients.front(), got.data(), got.size(), MSG_WAITALL), ssize_t(reply.size()));
    EXPECT_EQ(got, reply);
    for (int fd : clients)
        ::close(fd);
    server.Signal(SIGTERM);
    EXPECT_EQ(WEXITSTATUS(server.Wait()), 0);
}

// The port of a "listening on HOST:PORT" line.
std::uint16_t PortOf(const std::string& listening) {
    return static_cast<std::uint16_t>(std::stoi(listening.substr(listening.rfind(':') + 1)));
}

int ConnectIPv6(std::uint16_t port) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    const timeval cap{testing::kChildCapMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &cap, sizeof cap);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// One poll on a plain connection: "weight status", or what came before the connection ended.
std::string Ask(int fd, const std::string& name) {
    const std::string request = name + "\n";
    EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    std::string reply;
    char byte = 0;
    for (int ends = 0; ends < 2 && ::recv(fd, &byte, 1, 0) == 1;) {
        if (byte == '\n')
            ++ends;
        reply += byte;
    }
    const auto first = reply.find("\r\n");
    if (first == std::string::npos || reply.size() < first + 4)
        return "ended after \"" + reply + "\"";
    return reply.substr(0, first) + " " + reply.substr(first + 2, reply.size() - first - 4);
}

// The service manager's end of the notification protocol: a datagram socket in the test.
class NotifySocket {
public:
    explicit NotifySocket(std::string path) : path_(std::move(path)) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const timeval cap{testing::kChildCapMs / 1000, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &cap, sizeof cap);
    }
    ~NotifySocket() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    std::string Environment() const { return "NOTIFY_SOCKET=" + path_; }
    // The next message that is not a watchdog beat; the beats passed over are counted.
    std::string Next() {
        for (;;) {
            char bytes[4096];
            const ssize_t n = ::recv(fd_, bytes, sizeof bytes, 0);
            if (n < 0) {
                ADD_FAILURE() << "no message from the server";
                return {};
            }
            std::string message(bytes, static_cast<std::size_t>(n));
            if (message != "WATCHDOG=1")
                return message;
            ++beats;
        }
    }

    int beats = 0;

private:
    std::string path_;
    int fd_ = -1;
};

std::string Section(const std::string& name, const std::string& port,
                    const std::string& more = "") {
    return "[" + name + "]\r\nПорт=" + port + "\r\n" + more;
}

TEST(ServerProgram, TellsTheServiceManagerItIsReadyAliveAndStopping) {
    ChildProcess sim({VESMERA_TERMINAL_SIM, "--weight", "7"});
    TempDir dir;
    NotifySocket manager(dir.Path() + "/notify");
    const std::string file =
        dir.Write("vesmera-server.ini", "[Server]\r\nListen=127.0.0.1:0\r\n" +
                                            Section("Весы 1", sim.OutputLine()) +
                                            Section("Пусто", "/nonexistent"));
    // Beats every 50 ms, for a manager that restarts a server silent for 100 ms.
    ChildProcess server({VESMERA_SERVER_BIN, "--config", file}, -1,
                        {manager.Environment(), "WATCHDOG_USEC=100000"});
    const std::uint16_t port = PortOf(server.OutputLine());
    EXPECT_EQ(manager.Next(), "READY=1\nSTATUS=0 of 2 terminals linked, 0 clients");
    EXPECT_EQ(manager.Next(), "STATUS=1 of 2 terminals linked, 0 clients");
    const int client = ConnectIPv4(port);
    EXPECT_EQ(manager.Next(), "STATUS=1 of 2 terminals linked, 1 clients");
    // A second apart at least, so the beats between the statuses are many.
    EXPECT_GE(manager.beats, 10);
    server.Signal(SIGTERM);
    EXPECT_EQ(manager.Next(), "STOPPING=1");
    EXPECT_EQ(WEXITSTATUS(server.Wait()), 0);
    ::close(client);
}

// The status code of one HTTP/1.1 request on a connection of its own.
int HttpStatus(std::uint16_t port, const std::string& method, const std::string& path,
               const std::string& token) {
    const int fd = ConnectIPv4(port);
    const std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                (token.empty() ? "" : "Authorization: Bearer " + token + "\r\n") +
                                "Content-Length: 0\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    std::string status(12, '\0');
    const ssize_t got = ::recv(fd, status.data(), status.size(), MSG_WAITALL);
    ::close(fd);
    return got == 12 && status.starts_with("HTTP/1.1 ") ? std::stoi(status.substr(9)) : -1;
}

// One configuration after another on SIGHUP, with one client connected all along.
struct ReloadStep {
    const char* name;
    std::string listen;
    std::string terminals;
    std::vector<std::string> logged; // in order, FILE for the file's path
    std::vector<std::pair<std::string, std::string>> answers;
};

TEST(ServerProgram, ReloadAppliesAGoodFileWithoutDroppingClientsAndRefusesABadOne) {
    ChildProcess a({VESMERA_TERMINAL_SIM, "--weight", "1"});
    ChildProcess b({VESMERA_TERMINAL_SIM, "--weight", "2"});
    ChildProcess c({VESMERA_TERMINAL_SIM, "--weight", "3"});
    const std::string pa = a.OutputLine(), pb = b.OutputLine(), pc = c.OutputLine();
    const TakenPort taken;
    const std::string& takenAt = taken.endpoint;

    TempDir dir;
    NotifySocket manager(dir.Path() + "/notify");
    const auto write = [&](const std::string& listen, const std::string& terminals) {
        return dir.Write("vesmera-server.ini", "[Server]\r\nListen=" + listen + "\r\n" + terminals);
    };
    const std::string file = write("127.0.0.1:0", Section("A", pa) + Section("B", pb));
    ChildProcess server({VESMERA_SERVER_BIN, "--config", file}, -1, {manager.Environment()});
    const std::uint16_t first = PortOf(server.OutputLine());
    EXPECT_TRUE(manager.Next().starts_with("READY=1\n"));
    ASSERT_TRUE(server.ErrorLineWith("linked"));
    ASSERT_TRUE(server.ErrorLineWith("linked"));
    const int client = ConnectIPv4(first);
    EXPECT_EQ(Ask(client, "A"), "1 -5002");
    EXPECT_EQ(Ask(client, "B"), "2 -5002");

    const std::string delay50 = "Задержка(мск)=50\r\n";
    const std::vector<ReloadStep> steps = {
        {"added and removed",
         "127.0.0.1:0",
         Section("A", pa) + Section("C", pc),
         {"reloaded FILE: terminals added \"C\"; terminals removed \"B\"",
          "terminal \"C\": linked"},
         {{"A", "1 -5002"}, {"B", "-5000 -5003"}, {"C", "3 -5002"}}},
        {"port settings changed",
         "127.0.0.1:0",
         Section("A", pa, delay50) + Section("C", pc),
         {"reloaded FILE: terminals restarted with new port settings \"A\"",
          "terminal \"A\": linked"},
         {{"A", "1 -5002"}, {"C", "3 -5002"}}},
        {"invalid file refused whole",
         "127.0.0.1:0",
         "MaxClients=0\r\n" + Section("A", pa, delay50) + Section("C", pc) +
             Section("D", "/nonexistent"),
         {"reload: FILE: MaxClients: must be a positive whole number, not \"0\"",
          "reload refused: the configuration in use is kept"},
         {{"C", "3 -5002"}, {"D", "-5000 -5003"}}},
        {"unbindable listener refuses the reload",
         "127.0.0.1:0, " + takenAt,
         Section("A", pa, delay50) + Section("D", "/nonexistent"),
         {"reload refused: cannot listen on " + takenAt +
          ": Address already in use; the configuration in use is kept"},
         {{"C", "3 -5002"}, {"D", "-5000 -5003"}}},
        {"unchanged file",
         "127.0.0.1:0",
         Section("A", pa, delay50) + Section("C", pc),
         {"reloaded FILE: nothing changed"},
         {{"A", "1 -5002"}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        write(step.listen, step.terminals);
        server.Signal(SIGHUP);
        EXPECT_TRUE(manager.Next().starts_with("RELOADING=1\nMONOTONIC_USEC="));
        for (std::string line : step.logged) {
            if (const auto at = line.find("FILE"); at != std::string::npos)
                line.replace(at, 4, file);
            EXPECT_EQ(Unstamped(server.ErrorLine()), line);
        }
        EXPECT_TRUE(manager.Next().starts_with("READY=1\nSTATUS="));
        for (const auto& [name, answer] : step.answers)
            EXPECT_EQ(Ask(client, name), answer) << name;
    }

    // An editor caught between truncating and writing the file: refused, nothing stops.
    dir.Write("vesmera-server.ini", "");
    server.Signal(SIGHUP);
    EXPECT_EQ(Unstamped(server.ErrorLine()),
              "reload: " + file + ": the file is empty (not yet written?)");
    EXPECT_EQ(Unstamped(server.ErrorLine()), "reload refused: the configuration in use is kept");
    EXPECT_EQ(Ask(client, "A"), "1 -5002");

    // The listener moves to IPv6 and new clients are limited: the client in stays.
    write("[::1]:0", "MaxClients=1\r\n" + Section("A", pa, delay50) + Section("C", pc));
    server.Signal(SIGHUP);
    const std::string moved = server.OutputLine();
    ASSERT_TRUE(moved.starts_with("listening on [::1]:")) << moved;
    EXPECT_EQ(Unstamped(server.ErrorLine()),
              "reloaded " + file + ": Listen: opened " + moved.substr(13) +
                  ", closed 127.0.0.1:" + std::to_string(first) + "; MaxClients 1");
    EXPECT_EQ(Ask(client, "C"), "3 -5002");
    const int refused = ConnectIPv6(PortOf(moved));
    char byte = 0;
    EXPECT_EQ(::recv(refused, &byte, 1, 0), 0) << "a second client past MaxClients=1";
    ::close(refused);
    const int none = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in old{};
    old.sin_family = AF_INET;
    old.sin_port = htons(first);
    old.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_NE(::connect(none, reinterpret_cast<sockaddr*>(&old), sizeof old), 0)
        << "the old listener is closed";
    ::close(none);

    // Port 0 as written keeps its socket: the same listener serves a client after the limit
    // is raised again.
    write("[::1]:0", Section("A", pa, delay50) + Section("C", pc));
    server.Signal(SIGHUP);
    EXPECT_TRUE(server.ErrorLine().ends_with("refused: MaxClients (1) reached"));
    EXPECT_EQ(Unstamped(server.ErrorLine()), "reloaded " + file + ": MaxClients 1024");
    const int second = ConnectIPv6(PortOf(moved));
    EXPECT_EQ(Ask(second, "A"), "1 -5002");
    ::close(second);

    EXPECT_EQ(Ask(client, "A"), "1 -5002");

    // HTTP comes with a reload, and a new token holds at once: the listener stays.
    const auto withHttp = [&](const std::string& token) {
        return Section("A", pa, delay50) + Section("C", pc) +
               "[HTTP]\r\nListen=127.0.0.1:0\r\nToken=" + token + "\r\n";
    };
    write("[::1]:0", withHttp("first-token-0123456789"));
    server.Signal(SIGHUP);
    const std::string http = server.OutputLine();
    ASSERT_TRUE(http.starts_with("http listening on 127.0.0.1:")) << http;
    EXPECT_EQ(Unstamped(server.ErrorLine()), "reloaded " + file + ": [HTTP] applied");
    const std::string zeroA = "/v1/terminals/A/zero";
    EXPECT_EQ(HttpStatus(PortOf(http), "POST", zeroA, "first-token-0123456789"), 202);
    write("[::1]:0", withHttp("second-token-0123456789"));
    server.Signal(SIGHUP);
    EXPECT_EQ(Unstamped(server.ErrorLine()), "reloaded " + file + ": [HTTP] applied");
    EXPECT_EQ(HttpStatus(PortOf(http), "POST", zeroA, "first-token-0123456789"), 401);
    EXPECT_EQ(HttpStatus(PortOf(http), "POST", zeroA, "second-token-0123456789"), 202);

    EXPECT_EQ(Ask(client, "A"), "1 -5002");
    ::close(client);
    server.Signal(SIGTERM);
    EXPECT_EQ(WEXITSTATUS(server.Wait()), 0);
    // The unchanged terminal kept its link through every reload: only the restart of its
    // changed port settings linked it again.
    const std::string rest = server.AllErrors();
    EXPECT_EQ(rest.find("\"A\": linked"), std::string::npos) << rest;
}

} // namespace
} // namespace vesmera
