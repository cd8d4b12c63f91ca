#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "server/child_process.h"
#include "settings/test_files.h"

namespace vesmera {
namespace {

using testing::ChildProcess;

// A folder others may read: a broker started as root reads its files as the user "mosquitto".
class TempDir {
public:
    TempDir() { ::chmod(dir_.Dir().c_str(), 0755); }
    std::string Write(const std::string& name, const std::string& bytes, int mode = 0600) const {
        const std::string file = dir_.File(name);
        testing_files::WriteBytes(file, bytes);
        ::chmod(file.c_str(), static_cast<mode_t>(mode));
        return file;
    }

    std::string Folder() const { return dir_.File("."); }

private:
    testing_files::TempDir dir_;
};

std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Debian's mosquitto on a free loopback port, with a configuration of the test's own: never a
// broker the machine happens to run.
class Broker {
public:
    explicit Broker(const std::string& extra = "allow_anonymous true\n") : port_(FreePort()) {
        config_ =
            dir_.Write("mosquitto.conf",
                       "listener " + std::to_string(port_) +
                           " 127.0.0.1\npersistence false\nconnection_messages false\n" + extra);
        Start();
    }
    void Start() {
        process_.emplace(std::vector<std::string>{"/usr/sbin/mosquitto", "-c", config_});
        ASSERT_TRUE(process_->ErrorLineWith(" running")) << "the broker did not start";
    }
    void Stop() {
        process_->Signal(SIGTERM);
        process_->Wait();
        process_.reset();
    }
    std::uint16_t Port() const { return port_; }

private:
    TempDir dir_;
    std::uint16_t port_;
    std::string config_;
    std::optional<ChildProcess> process_;
};

// One message as mosquitto_sub prints it.
struct Message {
    bool retained = false;
    std::string topic;
    std::string payload;
};

class Subscriber {
public:
    Subscriber(const Broker& broker, const std::string& filter)
        : process_({"/usr/bin/mosquitto_sub", "-h", "127.0.0.1", "-p",
                    std::to_string(broker.Port()), "-q", "1", "-t", filter, "-F", "%r %t\t%p"}) {}
    Message Next() {
        const std::string line = process_.OutputLine();
        Message m;
        const auto tab = line.find('\t');
        if (line.size() < 2 || tab == std::string::npos) {
            ADD_FAILURE() << "no message, or an unreadable one: " << line;
            return m;
        }
        m.retained = line[0] == '1';
        m.topic = line.substr(2, tab - 2);
        m.payload = line.substr(tab + 1);
        return m;
    }
    // Skips messages until one on the topic whose payload passes the check.
    template <typename Check> std::optional<Message> Until(const std::string& topic, Check check) {
        for (int i = 0; i < 200; ++i) {
            Message m = Next();
            if (m.topic.empty())
                return std::nullopt;
            if (m.topic == topic && check(m))
                return m;
        }
        return std::nullopt;
    }

private:
    ChildProcess process_;
};

void Publish(const Broker& broker, const std::string& topic, const std::string& payload,
             bool retain = false) {
    std::vector<std::string> args{"/usr/bin/mosquitto_pub",
                                  "-h",
                                  "127.0.0.1",
                                  "-p",
                                  std::to_string(broker.Port()),
                                  "-q",
                                  "1",
                                  "-t",
                                  topic,
                                  "-m",
                                  payload};
    if (retain)
        args.push_back("-r");
    ChildProcess pub(args);
    EXPECT_EQ(WEXITSTATUS(pub.Wait()), 0);
}

// Reads the server's standard error until every part has been seen on some line.
void ExpectLog(ChildProcess& server, std::set<std::string> parts) {
    for (int i = 0; i < 100 && !parts.empty(); ++i) {
        const std::string line = server.ErrorLine();
        if (line.empty())
            break;
        std::erase_if(parts,
                      [&](const std::string& p) { return line.find(p) != std::string::npos; });
    }
    for (const auto& p : parts)
        ADD_FAILURE() << "no log line with: " << p;
}

std::string Status(const Message& m) {
    return nlohmann::json::parse(m.payload, nullptr, false).value("status", "");
}

// The server on simulated terminals, publishing under its own prefix.
class ServerRig {
public:
    ServerRig(const Broker& broker, const std::vector<std::pair<std::string, std::string>>& weights,
              const std::string& mqttKeys, const std::string& sections = "")
        : http_(sections.find("[HTTP]") != std::string::npos),
          topic_("vesmera-test/" + std::to_string(::getpid()) + "-" + std::to_string(next_++)),
          brokerPort_(broker.Port()), sections_(sections) {
        for (const auto& [name, weight] : weights) {
            auto& sim = sims_.emplace_back(std::make_unique<ChildProcess>(
                std::vector<std::string>{VESMERA_TERMINAL_SIM, "--weight", weight, "--log"}));
            terminals_.emplace_back(name, sim->OutputLine());
        }
        Configure(topic_, mqttKeys, terminals_.size());
        Start();
    }
    // Writes the configuration: this prefix, these keys, the first `count` terminals.
    void Configure(const std::string& topic, const std::string& mqttKeys, std::size_t count) {
        std::string ini = "[Server]\nListen=127.0.0.1:0\n[MQTT]\nBroker=127.0.0.1:" +
                          std::to_string(brokerPort_) + "\nTopic=" + topic + "\n" + mqttKeys +
                          sections_;
        for (std::size_t i = 0; i < count; ++i)
            ini += "[" + terminals_[i].first + "]\nПорт=" + terminals_[i].second + "\n";
        config_ = dir_.Write("vesmera-server.ini", ini);
    }
    void Start() {
        server_.emplace(std::vector<std::string>{VESMERA_SERVER_BIN, "--config", config_});
        EXPECT_TRUE(server_->OutputLine().starts_with("listening on"));
        if (http_) {
            const std::string line = server_->OutputLine();
            httpPort_ = line.substr(line.rfind(':') + 1);
        }
    }
    // The value of a metric without labels in /metrics; empty when there is none.
    std::string Metric(const std::string& name) {
        ChildProcess curl({"/usr/bin/curl", "-sS", "http://127.0.0.1:" + httpPort_ + "/metrics"});
        for (std::string line; !(line = curl.OutputLine()).empty();)
            if (line.starts_with(name + " "))
                return line.substr(name.size() + 1);
        return {};
    }
    ChildProcess& Server() { return *server_; }
    ChildProcess& Sim(std::size_t i) { return *sims_[i]; }
    const std::string& Topic() const { return topic_; }

private:
    static inline int next_ = 0;
    bool http_;
    std::string httpPort_;
    TempDir dir_;
    std::string topic_;
    std::uint16_t brokerPort_;
    std::string sections_;
    std::vector<std::unique_ptr<ChildProcess>> sims_;
    std::vector<std::pair<std::string, std::string>> terminals_; // name, device
    std::string config_;
    std::optional<ChildProcess> server_;
};

// Every terminal's reading is retained under its escaped name, and a change goes out as it
// happens: with an hour's heartbeat, only the change can have sent it.
TEST(MqttBroker, RetainsEveryReadingAndPublishesEachChange) {
    Broker broker;
    ServerRig rig(broker, {{"Весы 1", "12.5"}, {"a/b+#", "3"}}, "Heartbeat=3600\n",
                  "[HTTP]\nListen=127.0.0.1:0\n");
    const std::string endpoint = "127.0.0.1:" + std::to_string(broker.Port());
    ExpectLog(rig.Server(), {"mqtt: connected to " + endpoint, "terminal \"Весы 1\": linked",
                             "terminal \"a/b+#\": linked"});

    Subscriber sub(broker, rig.Topic() + "/#");
    const std::string scale = rig.Topic() + "/terminals/Весы 1";
    const std::string escaped = rig.Topic() + "/terminals/a%2Fb%2B%23";
    const auto status = sub.Until(rig.Topic() + "/status", [](const Message&) { return true; });
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->retained);
    EXPECT_EQ(status->payload, "online");
    for (const auto& topic : {scale, escaped}) {
        Subscriber one(broker, topic);
        const auto m = one.Until(topic, [](const Message& m) { return Status(m) == "stable"; });
        ASSERT_TRUE(m) << topic;
        const auto json = nlohmann::json::parse(m->payload);
        EXPECT_EQ(json["terminal"], topic == scale ? "Весы 1" : "a/b+#");
        EXPECT_EQ(json["value"], topic == scale ? 12.5 : 3.0);
    }

    rig.Sim(0).Input("weight 20");
    const auto change = sub.Until(scale, [](const Message& m) {
        return nlohmann::json::parse(m.payload, nullptr, false).value("value", 0.0) == 20.0;
    });
    ASSERT_TRUE(change);
    EXPECT_FALSE(change->retained); // delivered live
    EXPECT_EQ(nlohmann::json::parse(change->payload)["text"], "20");

    // The status and both terminals' first readings at the least, long acknowledged.
    EXPECT_EQ(rig.Metric("vesmera_mqtt_connected"), "1");
    EXPECT_GE(std::atoi(rig.Metric("vesmera_mqtt_published_total").c_str()), 3);
    EXPECT_FALSE(rig.Metric("vesmera_mqtt_coalesced_total").empty());
}

// "online" while the server runs; "offline" from the server itself on a clean stop, and from the
// broker (the will) when the server dies.
TEST(MqttBroker, StatusGoesOfflineOnStopAndOnKill) {
    Broker broker;
    ServerRig rig(broker, {{"A", "1"}}, "");
    ExpectLog(rig.Server(), {"mqtt: connected"});
    Subscriber sub(broker, rig.Topic() + "/status");
    const auto m = [&] { return sub.Next(); };
    EXPECT_EQ(m().payload, "online");
    rig.Server().Signal(SIGTERM);
    EXPECT_EQ(WEXITSTATUS(rig.Server().Wait()), 0);
    EXPECT_EQ(m().payload, "offline");

    rig.Start();
    EXPECT_EQ(m().payload, "online");
    rig.Server().Signal(SIGKILL);
    rig.Server().Wait();
    const auto will = m();
    EXPECT_EQ(will.payload, "offline");
    Subscriber late(broker, rig.Topic() + "/status");
    const auto retained = late.Next();
    EXPECT_TRUE(retained.retained);
    EXPECT_EQ(retained.payload, "offline");
}

// A broker that restarts has forgotten every retained message: the server says it lost the
// broker, reconnects, and publishes the status and every reading again.
TEST(MqttBroker, ReconnectsAndRepublishesAfterTheBrokerRestarts) {
    Broker broker;
    ServerRig rig(broker, {{"A", "7"}}, "Heartbeat=3600\n");
    const std::string endpoint = "127.0.0.1:" + std::to_string(broker.Port());
    ExpectLog(rig.Server(), {"mqtt: connected to " + endpoint, "terminal \"A\": linked"});
    broker.Stop();
    ExpectLog(rig.Server(), {"mqtt: connection to " + endpoint + " lost: "});
    broker.Start();
    ExpectLog(rig.Server(), {"mqtt: connected to " + endpoint});
    Subscriber sub(broker, rig.Topic() + "/#");
    std::map<std::string, Message> retained;
    for (int i = 0; i < 2; ++i) {
        Message m = sub.Next();
        retained[m.topic] = m;
    }
    EXPECT_EQ(retained[rig.Topic() + "/status"].payload, "online");
    EXPECT_TRUE(retained[rig.Topic() + "/status"].retained);
    const Message reading = retained[rig.Topic() + "/terminals/A"];
    EXPECT_TRUE(reading.retained);
    EXPECT_EQ(Status(reading), "stable");
}

// A zero request on the command topic reaches the terminal's line only with Commands=1; its
// result comes back on the result topic.
TEST(MqttBroker, ZeroesThroughTheCommandTopicOnlyWhenAllowed) {
    Broker broker;
    for (const bool commands : {true, false}) {
        SCOPED_TRACE(commands ? "Commands=1" : "Commands=0");
        ServerRig rig(broker, {{"a/b+#", "5"}}, commands ? "Commands=1\n" : "");
        ExpectLog(rig.Server(), {"mqtt: connected", "terminal \"a/b+#\": linked"});
        const std::string level = rig.Topic() + "/terminals/a%2Fb%2B%23";
        Subscriber results(broker, rig.Topic() + "/terminals/+/zero/result");
        // The result subscription stands once a retained message on it arrives.
        Publish(broker, rig.Topic() + "/terminals/probe/zero/result", "probe", true);
        EXPECT_EQ(results.Next().payload, "probe");
        Publish(broker, rig.Topic() + "/terminals/none/zero", "1");
        Publish(broker, level + "/zero", "1");
        if (commands) {
            EXPECT_EQ(results.Next().payload, "unknown");
            const Message queued = results.Next();
            EXPECT_EQ(queued.topic, level + "/zero/result");
            EXPECT_EQ(queued.payload, "queued");
            EXPECT_TRUE(rig.Sim(0).ErrorLineWith("zero"));
        }
        rig.Server().Signal(SIGTERM);
        EXPECT_EQ(WEXITSTATUS(rig.Server().Wait()), 0);
        if (!commands) {
            rig.Sim(0).Input("quit");
            EXPECT_EQ(rig.Sim(0).AllErrors().find("zero"), std::string::npos);
        }
    }
}

// A refused login is logged with the broker's reason, and the server serves on.
TEST(MqttBroker, AuthenticationFailureIsLogged) {
    TempDir secrets;
    const std::string passwords = secrets.Write("passwords", "");
    ChildProcess passwd({"/usr/bin/mosquitto_passwd", "-b", passwords, "scale", "right"});
    ASSERT_EQ(WEXITSTATUS(passwd.Wait()), 0);
    ::chmod(passwords.c_str(), 0644);
    Broker broker("allow_anonymous false\npassword_file " + passwords + "\n");
    const std::string wrong = secrets.Write("wrong", "guess\n");
    ServerRig rig(broker, {{"A", "1"}}, "Username=scale\nPasswordFile=" + wrong + "\n");
    ExpectLog(rig.Server(), {"mqtt: cannot connect to 127.0.0.1:" + std::to_string(broker.Port()) +
                                 ": the broker refused the connection: not authorised; retrying "
                                 "in 1 s",
                             "terminal \"A\": linked"});
}

// A reload clears the retained reading of a terminal that is gone; a new prefix ends the old
// session ("offline") and starts a new one under it.
TEST(MqttBroker, ReloadClearsRemovedTerminalsAndMovesToANewPrefix) {
    Broker broker;
    ServerRig rig(broker, {{"A", "1"}, {"B", "2"}}, "");
    ExpectLog(rig.Server(),
              {"mqtt: connected", "terminal \"A\": linked", "terminal \"B\": linked"});
    const std::string old = rig.Topic();
    Subscriber sub(broker, old + "/#");
    ASSERT_TRUE(
        sub.Until(old + "/terminals/B", [](const Message& m) { return Status(m) == "stable"; }));

    rig.Configure(old, "", 1);
    rig.Server().Signal(SIGHUP);
    const auto cleared = sub.Until(old + "/terminals/B", [](const Message&) { return true; });
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->payload, "");
    Subscriber late(broker, old + "/terminals/+");
    EXPECT_EQ(late.Next().topic, old + "/terminals/A"); // the only one retained now

    rig.Configure(old + "-moved", "", 1);
    rig.Server().Signal(SIGHUP);
    const auto offline = sub.Until(old + "/status", [](const Message&) { return true; });
    ASSERT_TRUE(offline);
    EXPECT_EQ(offline->payload, "offline");
    Subscriber moved(broker, old + "-moved/status");
    EXPECT_EQ(moved.Next().payload, "online");
}

void RunTool(std::vector<std::string> command) {
    ChildProcess child(std::move(command));
    ASSERT_EQ(WEXITSTATUS(child.Wait()), 0) << child.AllErrors();
}

// A CA and a certificate for 127.0.0.1 that it signed, made with openssl in dir.
void MakeCertificates(const std::string& dir, const std::string& ca) {
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt",
                                          "ec_paramgen_curve:prime256v1", "-nodes"};
    auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), key.begin(), key.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    RunTool(with({"/usr/bin/openssl", "req", "-x509"},
                 {"-keyout", dir + "/" + ca + ".key", "-out", dir + "/" + ca + ".pem", "-days", "2",
                  "-subj", "/CN=" + ca}));
    RunTool(with({"/usr/bin/openssl", "req"}, {"-keyout", dir + "/broker.key", "-out",
                                               dir + "/broker.csr", "-subj", "/CN=127.0.0.1"}));
    std::ofstream(dir + "/san.ext") << "subjectAltName=IP:127.0.0.1\n";
    RunTool({"/usr/bin/openssl", "x509", "-req", "-in", dir + "/broker.csr", "-CA",
             dir + "/" + ca + ".pem", "-CAkey", dir + "/" + ca + ".key", "-CAcreateserial", "-out",
             dir + "/broker.pem", "-days", "2", "-extfile", dir + "/san.ext"});
    ::chmod((dir + "/broker.key").c_str(), 0644); // the broker reads it as the user "mosquitto"
}

// TLS with the CA in CAFile is a session like any other; a broker whose certificate another CA
// signed is refused, said once in the log, and the server serves its terminals on.
TEST(MqttBroker, TlsChecksTheBrokersCertificate) {
    TempDir certificates;
    const std::string folder = certificates.Folder();
    MakeCertificates(folder, "site-ca");
    RunTool({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", folder + "/other-ca.key", "-out",
             folder + "/other-ca.pem", "-days", "2", "-subj", "/CN=other-ca"});
    Broker broker("allow_anonymous true\ncafile " + folder + "/site-ca.pem\ncertfile " + folder +
                  "/broker.pem\nkeyfile " + folder + "/broker.key\n");
    const std::string endpoint = "127.0.0.1:" + std::to_string(broker.Port());
    {
        ServerRig rig(broker, {{"A", "2"}}, "CAFile=" + folder + "/site-ca.pem\n");
        ExpectLog(rig.Server(), {"mqtt: connected to " + endpoint});
    }
    ServerRig rig(broker, {{"A", "2"}}, "CAFile=" + folder + "/other-ca.pem\n");
    ExpectLog(rig.Server(),
              {"mqtt: cannot connect to " + endpoint + ": A TLS error occurred; retrying in 1 s",
               "terminal \"A\": linked"});
}

} // namespace
} // namespace vesmera
