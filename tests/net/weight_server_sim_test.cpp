#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>

#include <gtest/gtest.h>

#include "net/tcp_line_channel.h"
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

class SimTest : public ::testing::Test {
protected:
    void Open(SimProcess& sim, std::int32_t readTimeout) {
        channel.SetHost("127.0.0.1");
        channel.SetPort(sim.Port());
        channel.SetConnectTimeout(1000);
        channel.SetReadTimeout(readTimeout);
        channel.Connect();
        sim.Expect("connect");
    }

    std::pair<std::string, std::string> Poll(const std::string& name) {
        channel.WriteLn(name);
        std::string weight = channel.ReadLn();
        return {weight, channel.ReadLn()};
    }

    TcpLineChannel channel;
};

TEST_F(SimTest, AnswersPollsAcceptsZerosAndTakesCommands) {
    SimProcess sim({"--terminal", "Весы 1", "12,5", "-5002"});
    ASSERT_NE(sim.Port(), 0);
    Open(sim, 5000);
    EXPECT_EQ(Poll("Весы 1"), std::make_pair(std::string("12,5"), std::string("-5002")));
    EXPECT_EQ(Poll("T9"), std::make_pair(std::string("-5000"), std::string("-5003")));
    channel.WriteLn("SetNullВесы 1");
    sim.Expect("zero Весы 1");
    sim.Command("set -5001 -5003 Весы 1");
    sim.Command("set 7,25 -5003 T 2");
    sim.Expect("set T 2");
    EXPECT_EQ(Poll("Весы 1"), std::make_pair(std::string("-5001"), std::string("-5003")));
    EXPECT_EQ(Poll("T 2"), std::make_pair(std::string("7,25"), std::string("-5003")));
}

TEST_F(SimTest, CloseAndResetEndTheConnections) {
    SimProcess sim({});
    Open(sim, 5000);
    sim.Command("close");
    sim.Expect("disconnect");
    AwaitHangup(channel.NativeSocket());
    EXPECT_FALSE(channel.Connected());

    channel.Connect();
    sim.Expect("connect");
    sim.Command("reset");
    sim.Expect("disconnect");
    AwaitHangup(channel.NativeSocket());
    EXPECT_THROW(channel.Connected(), LineChannelError);
}

TEST_F(SimTest, ADelayedReplyTimesOutAndAnswersTheNextRead) {
    SimProcess sim({"--delay", "600", "--terminal", "T1", "1", "-5002"});
    Open(sim, 100); // the delay is six read time-outs
    channel.WriteLn("T1");
    const auto failure = FailureOf([&] { channel.ReadLn(); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind(), LineFailure::ReadTimedOut);
    channel.SetReadTimeout(5000);
    EXPECT_EQ(channel.ReadLn(), "1");
    EXPECT_EQ(channel.ReadLn(), "-5002");
}

} // namespace
} // namespace vesmera::test
