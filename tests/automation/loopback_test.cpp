#include <gtest/gtest.h>

#include <poll.h>

#include <functional>
#include <mutex>
#include <optional>

#include "automation/data_object.h"
#include "automation/scauto_object.h"
#include "fake_channels.h"
#include "loopback_server.h"
#include "net/tcp_line_channel.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

// The network members over the real line channel against a weight server on loopback.
class Loopback : public ::testing::Test {
protected:
    void Serve(test::LoopbackServer::Behaviour behaviour) {
        server = std::make_unique<test::LoopbackServer>(
            [this, behaviour](test::LoopbackServer::Connection& c) { behaviour(c); });
        settings.networkMode = true;
        settings.ip = "127.0.0.1";
        settings.serverPort = server->Port();
    }

    // What the server received, recorded by the behaviours on the server's thread.
    void Record(const std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex);
        received += bytes;
    }
    std::string Received() {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

    // Runs the scheduler until `ready` holds: the server threads answer in real time, so the
    // fake clock moves on only when no socket has stirred for a while.
    void Await(const std::function<bool()>& ready) {
        for (int round = 0; round < 1000 && !ready(); ++round) {
            scheduler.Advance(0);
            if (ready() || scheduler.PumpDescriptors(50) > 0)
                continue;
            if (!scheduler.RunNextTimer())
                break;
        }
        EXPECT_TRUE(ready());
    }
    std::string Ask(const std::function<void(ServerAnswer)>& ask) {
        std::optional<std::string> answer;
        ask([&answer](const std::string& text) { answer = text; });
        Await([&] { return answer.has_value(); });
        return answer.value_or("<no answer>");
    }
    std::string DataWeight(const std::string& name) {
        return Ask([&](ServerAnswer a) { TData(context).GetWeight(name, a); });
    }
    std::string DataStatus(const std::string& name) {
        return Ask([&](ServerAnswer a) { TData(context).GetStatus(name, a); });
    }
    std::string NetWeight(const std::string& name) {
        return Ask([&](ServerAnswer a) { TScAuto(context).GetWeightNet(name, a); });
    }
    std::string NetStatus(const std::string& name) {
        return Ask([&](ServerAnswer a) { TScAuto(context).GetStatusNet(name, a); });
    }
    void Zero(const std::function<void(std::function<void()>)>& zero) {
        bool done = false;
        zero([&done] { done = true; });
        Await([&] { return done; });
    }

    vesmera::testing::FakeScheduler scheduler;
    test::NoResolver resolver;
    HeldSettings settings;
    SharedWeightState weight;
    test::MainChannelStub main;
    TcpLineChannelFactory channels{scheduler, resolver};
    ServerCallPool calls{channels};
    AutomationContext context{settings, weight, main, calls,
                              [](std::function<void()> done) { done(); }};
    std::unique_ptr<test::LoopbackServer> server;
    std::mutex mutex;
    std::string received;
};

TEST_F(Loopback, PollAnsweredAtOnce) {
    Serve([this](test::LoopbackServer::Connection& c) {
        const std::string line = c.ReadLine();
        Record(line);
        c.Send(line == "T1\r\n" ? "12,5\r\n-5002\n" : "-5000\r\n-5003\r\n");
        c.ReadToEnd();
    });
    EXPECT_EQ(NetWeight("T1"), "12,5");
    EXPECT_EQ(NetStatus("T1"), "-5002");
    EXPECT_EQ(DataWeight("T1"), "12,5");
    EXPECT_EQ(DataStatus("T1"), "-5002");
    EXPECT_EQ(NetWeight("T2"), "-5000");
    server.reset(); // every connection has been served and closed
    EXPECT_EQ(Received(), "T1\r\nT1\r\nT1\r\nT1\r\nT2\r\n");
}

TEST_F(Loopback, ZeroRequestIsOneLineThenClose) {
    Serve([this](test::LoopbackServer::Connection& c) { Record(c.ReadToEnd()); });
    Zero([&](std::function<void()> done) { TData(context).SetNull("T1", done); });
    Zero([&](std::function<void()> done) { TScAuto(context).SetNullNet("Весы 1", done); });
    // The exchanges end when the bytes have left; the server's thread records them after.
    for (int i = 0; i < 500 && Received().size() < 30; ++i)
        ::poll(nullptr, 0, 10);
    server.reset();
    EXPECT_EQ(Received(), "SetNullT1\r\nSetNullВесы 1\r\n");
}

TEST_F(Loopback, WeightLineAloneThenCloseIsNoAnswer) {
    Serve([](test::LoopbackServer::Connection& c) {
        c.ReadLine();
        c.Send("12,5\r\n");
    });
    EXPECT_EQ(DataWeight("T1"), "-5008");
    EXPECT_EQ(NetWeight("T1"), "-5008");
}

TEST_F(Loopback, SilentServerRunsOutTheReadTimeOut) {
    // The server says nothing until the client gives up and closes.
    Serve([](test::LoopbackServer::Connection& c) { c.ReadToEnd(); });
    EXPECT_EQ(DataStatus("T1"), "-5008");
    EXPECT_EQ(NetWeight("T1"), "-5008");
}

TEST_F(Loopback, NoServerListening) {
    Serve([](test::LoopbackServer::Connection&) {});
    server.reset(); // the port is closed again
    EXPECT_EQ(DataWeight("T1"), "-5008");
    Zero([&](std::function<void()> done) { TData(context).SetNull("T1", done); });
}

} // namespace
} // namespace vesmera
