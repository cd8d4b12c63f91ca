#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include <gtest/gtest.h>

#include "net_test_support.h"

extern char** environ;

namespace vesmera::test {
namespace {

// The simulator as a child process, commanded through its standard input.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int in[2];
        int out[2];
        EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        args.insert(args.begin(), VESMERA_WEIGHT_SERVER_SIM);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        commands_ = in[1];
        output_ = out[0];
        const std::string first = NextLine();
        int port = 0;
        std::from_chars(first.data(), first.data() + first.size(), port);
        port_ = static_cast<std::uint16_t>(port);
    }

    ~SimProcess() {
        Command("quit");
        ::close(commands_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ::close(output_);
    }

    std::uint16_t Port() const { return port_; }

    void Command(const std::string& line) {
        const std::string bytes = line + "\n";
        EXPECT_EQ(::write(commands_, bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
    }

    // The next log line, waiting for it for real.
    std::string NextLine() {
        for (;;) {
            const auto lf = pending_.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending_.substr(0, lf);
                pending_.erase(0, lf + 1);
                return line;
            }
            if (RealPoll(output_, POLLIN, kRealCapMs) <= 0) {
                ADD_FAILURE() << "the simulator wrote nothing";
                return {};
            }
            char bytes[1024];
            const long n = ::read(output_, bytes, sizeof bytes);
            if (n <= 0) {
                ADD_FAILURE() << "the simulator ended";
                return {};
            }
            pending_.append(bytes, static_cast<std::size_t>(n));
        }
    }

    // Skips log lines until `line` comes.
    void Expect(const std::string& line) {
        for (int i = 0; i < 20; ++i) {
            if (NextLine() == line) {
                return;
            }
        }
        ADD_FAILURE() << "no log line '" << line << "'";
    }

private:
    pid_t pid_ = -1;
    int commands_ = -1;
    int output_ = -1;
    std::uint16_t port_ = 0;
    std::string pending_;
};

// A plain socket, so every byte of a reply is seen as sent.
class RawClient {
public:
    explicit RawClient(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~RawClient() { ::close(fd_); }

    int Fd() const { return fd_; }
    void Send(const std::string& line) {
        const std::string bytes = line + "\r\n";
        EXPECT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<long>(bytes.size()));
    }
    // Both reply lines without their terminators.
    std::pair<std::string, std::string> PollLines(const std::string& name) {
        const std::string reply = Poll(name);
        const auto first = reply.find('\n');
        const auto Line = [](std::string text) {
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            return text;
        };
        return {Line(reply.substr(0, first)),
                Line(reply.substr(first + 1, reply.size() - first - 2))};
    }

    // Sends a poll line and returns the reply up to and with its second LF.
    std::string Poll(const std::string& name) {
        const std::string line = name + "\r\n";
        EXPECT_EQ(::send(fd_, line.data(), line.size(), MSG_NOSIGNAL),
                  static_cast<long>(line.size()));
        std::string reply;
        while (std::count(reply.begin(), reply.end(), '\n') < 2) {
            if (RealPoll(fd_, POLLIN, kRealCapMs) <= 0) {
                ADD_FAILURE() << "no reply";
                break;
            }
            char byte;
            if (::recv(fd_, &byte, 1, 0) != 1) {
                ADD_FAILURE() << "the connection ended";
                break;
            }
            reply += byte;
        }
        return reply;
    }

private:
    int fd_ = -1;
};

TEST(SimTest, AnswersPollsAcceptsZerosAndTakesCommands) {
    SimProcess sim({"--terminal", "Весы 1", "12,5", "-5002"});
    ASSERT_NE(sim.Port(), 0);
    RawClient client(sim.Port());
    sim.Expect("connect");
    EXPECT_EQ(client.PollLines("Весы 1"),
              std::make_pair(std::string("12,5"), std::string("-5002")));
    EXPECT_EQ(client.PollLines("T9"), std::make_pair(std::string("-5000"), std::string("-5003")));
    client.Send("SetNullВесы 1");
    sim.Expect("zero Весы 1");
    sim.Command("set -5001 -5003 Весы 1");
    sim.Command("set 7,25 -5003 T 2");
    sim.Expect("set T 2");
    EXPECT_EQ(client.PollLines("Весы 1"),
              std::make_pair(std::string("-5001"), std::string("-5003")));
    EXPECT_EQ(client.PollLines("T 2"), std::make_pair(std::string("7,25"), std::string("-5003")));
}

TEST(SimTest, CloseAndResetEndTheConnections) {
    SimProcess sim({});
    for (const std::string command : {"close", "reset"}) {
        RawClient client(sim.Port());
        sim.Expect("connect");
        sim.Command(command);
        sim.Expect("disconnect");
        AwaitHangup(client.Fd());
        char byte;
        const long n = ::recv(client.Fd(), &byte, 1, 0);
        if (command == "close")
            EXPECT_EQ(n, 0);
        else
            EXPECT_TRUE(n < 0 && errno == ECONNRESET);
    }
}

TEST(SimTest, ADelayedReplyComesLate) {
    SimProcess sim({"--delay", "600", "--terminal", "T1", "1", "-5002"});
    RawClient client(sim.Port());
    sim.Expect("connect");
    client.Send("T1");
    EXPECT_EQ(RealPoll(client.Fd(), POLLIN, 100), 0); // nothing within a read time-out
    EXPECT_EQ(client.PollLines("T1").first, "1");     // the late reply, read whole
}

TEST(SimTest, HostileRepliesComeInTurnAsTwoLinesEachThenTheReadingReturns) {
    using namespace std::string_literals;
    SimProcess sim({"--terminal", "T1", "12,5", "-5002"});
    RawClient client(sim.Port());
    sim.Expect("connect");
    sim.Command("hostile 2");
    sim.Expect("hostile 2");
    EXPECT_EQ(client.Poll("T1"), "\xFF\xFE\xC3\r\n-5002\r\n"s);
    EXPECT_EQ(client.Poll("T1"), "12\0,5\r\n-5002\r\n"s);
    EXPECT_EQ(client.Poll("T1"), "12,5\r\n-5002\r\n");

    // The rest of the list in turn, from where the first two stopped, then round again.
    sim.Command("hostile 10");
    sim.Expect("hostile 10");
    std::vector<std::string> replies;
    for (int i = 0; i < 10; ++i) {
        replies.push_back(client.Poll("T1"));
    }
    EXPECT_EQ(replies[0], "1e999\r\n-5002\r\n");
    EXPECT_EQ(replies[6], std::string(16000, '9') + "\r\n-5002\r\n");
    // Longer than a socket takes at once on some systems: it must arrive whole.
    EXPECT_EQ(replies[7], std::string(20000, '7') + "\r\n-5002\r\n");
    EXPECT_EQ(replies[8], "-5001\r\n-5003\r\n");
    EXPECT_EQ(replies[9], "\xFF\xFE\xC3\r\n-5002\r\n"s);
    for (const std::string& reply : replies) {
        EXPECT_TRUE(reply.ends_with("\r\n")) << reply.substr(0, 40);
    }
    EXPECT_EQ(client.Poll("T1"), "12,5\r\n-5002\r\n");
}

} // namespace
} // namespace vesmera::test
