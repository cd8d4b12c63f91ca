// vesmera-server: keeps the serial links to the terminals named in vesmera-server.ini and
// answers the weight-server line protocol for every display and client on the network.

#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/environment.h"
#include "common/exception.h"
#include "server/address_slots.h"
#include "server/client_notes.h"
#include "server/config_reload.h"
#include "server/epoll_loop.h"
#include "server/http/http_server.h"
#include "server/http/metrics.h"
#include "server/line_server.h"
#include "server/mqtt/mosquitto_link.h"
#include "server/mqtt/mqtt_publisher.h"
#include "server/request_handler.h"
#include "server/server_config.h"
#include "server/server_log.h"
#include "server/service_notifier.h"
#include "server/stderr_log.h"
#include "server/terminal_set.h"
#include "settings/executable_dir.h"
#include "settings/file_system.h"

using namespace vesmera;

namespace {

// A start refused for its configuration exits with sysexits' EX_CONFIG, so a supervisor can
// tell it from a failure that a restart may mend (systemd: RestartPreventExitStatus=78).
// --check keeps its documented 1.
constexpr int kExitConfigRefused = 78;
constexpr int kExitCheckFailed = 1;
constexpr int kExitUsage = 2;

// A package build names its configuration file; a build from source reads the one beside the
// executable, so every copy has its own.
std::string DefaultConfigPath() {
    const std::string configured = VESMERA_SERVER_CONFIG;
    return configured.empty() ? ExecutableDirectory() + "vesmera-server.ini" : configured;
}

std::string Usage() {
    const std::string configured = VESMERA_SERVER_CONFIG;
    return std::string("usage: vesmera-server [--config FILE] [--check] | --version\n"
                       "  --config FILE  the configuration (default: ") +
           (configured.empty() ? "vesmera-server.ini beside the program" : configured) +
           ")\n"
           "  --check        validate the configuration and exit: 0 when it is sound, 1 with one\n"
           "                 line per problem\n"
           "  --version      print the version and exit\n";
}

// Standard output may be a pipe that a supervisor reads line by line: each line goes out
// whole and at once. Under journald it is the journal too, and the line says its priority.
void PrintLine(const std::string& text) {
    const bool journal =
        LogStyleFor(STDOUT_FILENO, std::getenv("JOURNAL_STREAM")) == LogStyle::Journal;
    const std::string line =
        (journal ? "<" + std::to_string(static_cast<int>(LogPriority::Info)) + ">" : "") + text +
        "\n";
    [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line.data(), line.size());
}

// Every client needs a descriptor; the soft limit is often far below what MaxClients asks.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The one-line status the service manager shows.
std::string StatusLine(const TerminalSet& terminals, std::size_t clients) {
    return std::to_string(terminals.LinkedCount()) + " of " + std::to_string(terminals.Count()) +
           " terminals linked, " + std::to_string(clients) + " clients";
}

// The [HTTP] section and Allow on reload: the interface may come, go or change (a new token
// holds from the next request on). HttpServer applies a section in one step, so it is applied
// while the reload prepares and put back as it was when it fails or another part refuses.
class HttpReload final : public IReloadable {
public:
    using Make = std::function<void(std::optional<HttpServer>&)>;
    HttpReload(std::optional<HttpServer>& http, Make make, const ServerConfig& config,
               IServerLog& log)
        : http_(http), make_(std::move(make)), inUse_(config.http), allow_(config.allow),
          log_(log) {}

    void Prepare(const ServerConfig& next) override {
        changed_ = next.http != inUse_ || (next.http && next.allow != allow_);
        if (!changed_)
            return;
        previous_ = inUse_;
        previousAllow_ = allow_;
        try {
            Use(next.http, next.allow);
        } catch (const Exception&) {
            Restore();
            changed_ = false;
            throw;
        }
    }
    void Commit(std::vector<std::string>& changes) override {
        if (changed_)
            changes.push_back(inUse_ ? "[HTTP] applied" : "[HTTP] removed");
        changed_ = false;
    }
    void Abandon() override {
        if (changed_)
            Restore();
        changed_ = false;
    }

private:
    void Use(const std::optional<HttpConfig>& config, const std::vector<AddressRange>& allow) {
        inUse_ = config;
        allow_ = allow;
        if (!config) {
            if (http_)
                http_->Stop();
            http_.reset();
            return;
        }
        if (!http_)
            make_(http_);
        for (const auto& endpoint : http_->Apply(*config, allow))
            PrintLine("http listening on " + endpoint);
    }
    void Restore() {
        try {
            Use(previous_, previousAllow_);
        } catch (const Exception& e) {
            log_.Write(LogPriority::Error,
                       "reload: the HTTP interface could not be put back: " + e.Message());
        }
    }

    std::optional<HttpServer>& http_;
    Make make_;
    std::optional<HttpConfig> inUse_, previous_;
    std::vector<AddressRange> allow_, previousAllow_;
    IServerLog& log_;
    bool changed_ = false;
};

int Serve(const std::string& path, const ServerConfig& config) {
    RaiseDescriptorLimit();
    // The signals arrive as a readable descriptor, so the loop stops or reloads between events.
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &handled, nullptr) != 0)
        throw Exception(std::string("sigprocmask: ") + std::strerror(errno));
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = ::signalfd(-1, &handled, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signals < 0)
        throw Exception(std::string("signalfd: ") + std::strerror(errno));

    EpollLoop loop;
    const LogTarget logTarget = OpenStderrLogTarget();
    StderrLog log(loop, logTarget, LogStyleFor(logTarget.fd, std::getenv("JOURNAL_STREAM")),
                  &SystemWallMs);
    ClientNotes notes(loop, log);
    ServiceNotifier notifier(loop, log, ProcessEnvironment());
    TerminalSet terminals(config, loop, &SystemWallMs, log, &MakeSerialPort);
    RequestHandler handler(terminals, notes);
    ServerLimits limits;
    limits.maxClients = static_cast<std::size_t>(config.maxClients);
    limits.allow = config.allow;
    // One count per client address for every interface that takes clients.
    AddressSlots slots(static_cast<std::size_t>(config.maxClientsPerAddress));
    LineServer server(loop, handler, notes, slots, limits);
    const auto listening = [](const sockaddr_storage& address) {
        PrintLine("listening on " + FormatEndpoint(address));
    };
    for (const auto& address : config.listen)
        listening(server.Listen(address));
    server.SetListening(listening);
    MqttPublisher mqtt(loop, terminals, log, [](const MqttConfig& c, std::size_t capacity) {
        return std::make_unique<MosquittoLink>(c, capacity);
    });
    mqtt.Apply(config.mqtt);

    Metrics metrics;
    AddTerminalMetrics(metrics, terminals);
    metrics.Add(
        "vesmera_clients", "Connected clients, by protocol.", MetricType::Gauge,
        [&server](std::vector<MetricSample>& samples) {
            samples.push_back({{{"protocol", "line"}}, static_cast<double>(server.Clients())});
        });
    // Always there, so that a reload that adds [MQTT] finds them: 0 while publishing is off.
    metrics.Add("vesmera_mqtt_connected", "Whether the MQTT session is up (1) or not (0).",
                MetricType::Gauge, [&mqtt](std::vector<MetricSample>& samples) {
                    samples.push_back({{}, mqtt.Connected() ? 1.0 : 0.0});
                });
    metrics.Add("vesmera_mqtt_published_total",
                "Messages the MQTT broker acknowledged (QoS 1) or that were sent (QoS 0).",
                MetricType::Counter, [&mqtt](std::vector<MetricSample>& samples) {
                    samples.push_back({{}, static_cast<double>(mqtt.Published())});
                });
    metrics.Add("vesmera_mqtt_coalesced_total",
                "Readings replaced by a newer one of the same terminal before they went to the "
                "MQTT broker (while it was slower than the terminals).",
                MetricType::Counter, [&mqtt](std::vector<MetricSample>& samples) {
                    samples.push_back({{}, static_cast<double>(mqtt.Coalesced())});
                });
    std::optional<HttpServer> http;
    const auto makeHttp = [&](std::optional<HttpServer>& server) {
        server.emplace(loop, terminals, &SystemWallMs, notes, metrics, &slots);
    };
    if (config.http) {
        makeHttp(http);
        for (const auto& endpoint : http->Apply(*config.http, config.allow))
            PrintLine("http listening on " + endpoint);
    }
    terminals.Start();

    // Listeners are opened before terminals change, so a refused bind leaves all as they were.
    ConfigReload reload(path, RealFileSystem(), log);
    HttpReload httpReload(http, makeHttp, config, log);
    reload.Register(server);
    reload.Register(httpReload);
    reload.Register(terminals);
    // A removed terminal's retained reading is cleared; a new [MQTT] section starts a new session.
    terminals.SetRemovedListener([&mqtt](const std::string& name) { mqtt.Forget(name); });
    ApplyOnReload mqttReload(
        [&mqtt, inUse = config.mqtt](const ServerConfig& next,
                                     std::vector<std::string>& changes) mutable {
            if (next.mqtt == inUse)
                return;
            inUse = next.mqtt;
            mqtt.Apply(inUse);
            changes.push_back(inUse ? "[MQTT] applied" : "[MQTT] removed");
        });
    reload.Register(mqttReload);

    notifier.Ready(
        [&] { return StatusLine(terminals, server.Clients() + (http ? http->Connections() : 0)); });
    ScheduledTask signalled(loop);
    signalled.WhenReadable(signals, [&] {
        signalfd_siginfo info{};
        if (::read(signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
            return; // woken for nothing (another reader took it): wait for the next
        if (info.ssi_signo == SIGHUP) {
            notifier.Reloading();
            reload.Run();
            notifier.Reloaded();
            return;
        }
        notifier.Stopping();
        log.Write(LogPriority::Info, "stopping on signal " + std::to_string(info.ssi_signo));
        loop.Stop();
    });
    loop.Run();
    signalled.Cancel();
    // "offline" goes out before the session ends, since a clean disconnect suppresses the will.
    mqtt.Stop();
    ::close(signals);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string path = DefaultConfigPath();
    bool checkOnly = false;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--check") {
            checkOnly = true;
        } else if (args[i] == "--config" && i + 1 < args.size()) {
            path = args[++i];
        } else if (args[i] == "--help" || args[i] == "-h") {
            std::cout << Usage();
            return 0;
        } else if (args[i] == "--version" && args.size() == 1) {
            std::cout << "vesmera-server " << VESMERA_VERSION << "\n";
            return 0;
        } else {
            std::cerr << Usage();
            return kExitUsage;
        }
    }
    const ServerConfigCheck check = CheckServerConfigFile(path, RealFileSystem());
    for (const auto& warning : check.warnings)
        std::cerr << path << ": warning: " << warning << "\n";
    for (const auto& problem : check.problems)
        std::cerr << path << ": " << problem << "\n";
    if (!check.problems.empty())
        return checkOnly ? kExitCheckFailed : kExitConfigRefused;
    if (checkOnly)
        return 0;
    try {
        return Serve(path, check.config);
    } catch (const Exception& e) {
        // Binding a listen address, or the loop's own set-up, is what can stop the server.
        std::cerr << "vesmera-server: " << e.Message() << "\n";
        return 1;
    }
}
