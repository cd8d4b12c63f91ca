#include <gtest/gtest.h>

#include <mutex>

#include "automation/data_object.h"
#include "automation/scauto_object.h"
#include "fake_channels.h"
#include "loopback_server.h"
#include "net/tcp_line_channel.h"

namespace vesmera {
namespace {

// The network members over the real line channel against a weight server on loopback.
class Loopback : public testing::Test {
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

    HeldSettings settings;
    SharedWeightState weight;
    test::MainChannelStub main;
    TcpLineChannelFactory channels;
    AutomationContext context{settings, weight, main, channels,
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
    EXPECT_EQ(std::get<std::string>(TScAuto(context).GetWeightNet("T1")), "12,5");
    EXPECT_EQ(std::get<std::string>(TScAuto(context).GetStatusNet("T1")), "-5002");
    EXPECT_EQ(TData(context).GetWeight("T1"), "12,5");
    EXPECT_EQ(TData(context).GetStatus("T1"), "-5002");
    EXPECT_EQ(std::get<std::string>(TScAuto(context).GetWeightNet("T2")), "-5000");
    server.reset(); // every connection has been served and closed
    EXPECT_EQ(Received(), "T1\r\nT1\r\nT1\r\nT1\r\nT2\r\n");
}

TEST_F(Loopback, ZeroRequestIsOneLineThenClose) {
    Serve([this](test::LoopbackServer::Connection& c) { Record(c.ReadToEnd()); });
    TData(context).SetNull("T1");
    TScAuto(context).SetNullNet("Весы 1");
    server.reset();
    EXPECT_EQ(Received(), "SetNullT1\r\nSetNullВесы 1\r\n");
}

TEST_F(Loopback, WeightLineAloneThenCloseIsNoAnswer) {
    Serve([](test::LoopbackServer::Connection& c) {
        c.ReadLine();
        c.Send("12,5\r\n");
    });
    EXPECT_EQ(TData(context).GetWeight("T1"), "-5008");
    EXPECT_EQ(std::get<std::string>(TScAuto(context).GetWeightNet("T1")), "-5008");
}

TEST_F(Loopback, SilentServerRunsOutTheReadTimeOut) {
    // The server says nothing until the client gives up and closes.
    Serve([](test::LoopbackServer::Connection& c) { c.ReadToEnd(); });
    EXPECT_EQ(TData(context).GetStatus("T1"), "-5008");
    EXPECT_EQ(std::get<std::string>(TScAuto(context).GetWeightNet("T1")), "-5008");
}

TEST_F(Loopback, NoServerListening) {
    Serve([](test::LoopbackServer::Connection&) {});
    server.reset(); // the port is closed again
    EXPECT_EQ(TData(context).GetWeight("T1"), "-5008");
    EXPECT_NO_THROW(TData(context).SetNull("T1"));
}

} // namespace
} // namespace vesmera
