#include "server/mqtt/mosquitto_link.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <utility>

#include "server/mqtt/mqtt_topics.h"

namespace vesmera {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";
// Without a CAFile the broker's certificate is checked against the system's trusted ones.
constexpr const char* kSystemCertificates = "/etc/ssl/certs";

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// The library's texts end in a full stop; the log line goes on after them.
std::string Reason(int rc, int savedErrno) {
    std::string text = rc == MOSQ_ERR_ERRNO ? std::strerror(savedErrno) : mosquitto_strerror(rc);
    if (text.ends_with('.'))
        text.pop_back();
    return text;
}

std::string ConnackReason(int code) {
    std::string text = mosquitto_connack_string(code);
    if (text.ends_with('.'))
        text.pop_back();
    constexpr std::string_view kSaid = "Connection Refused: ";
    if (text.starts_with(kSaid))
        text.erase(0, kSaid.size());
    return "the broker refused the connection: " + text;
}

void Signal(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void Drain(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

// An encrypted key would otherwise make the library ask for its pass phrase on the terminal.
int NoPassphrase(char*, int, int, void*) {
    return 0;
}

} // namespace

struct MosquittoLink::Shared {
    Shared(const MqttConfig& c, std::size_t capacity)
        : config(c), handoff(capacity), status(MqttTopics(c.topic).Status()),
          zeroFilter(MqttTopics(c.topic).ZeroFilter()),
          wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          eventFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        handoff.SetWake([this] { Signal(wakeFd); });
    }
    ~Shared() {
        ::close(wakeFd);
        ::close(eventFd);
    }

    const MqttConfig config;
    MessageHandoff handoff;
    const std::string status;
    const std::string zeroFilter;
    const int wakeFd;  // the thread's wake-up: a request or a first message waits
    const int eventFd; // the loop's: events wait

    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool connectRequested = false;
    bool stopRequested = false;
    bool finished = false;
    std::vector<BrokerEvent> events;
    std::atomic<std::uint64_t> published{0};

    // The thread's own state.
    mosquitto* mosq = nullptr;
    std::string setupFault; // why the client could not be set up; no attempt is made then
    int connack = -1;       // the broker's answer to the connect; -1 before it came
    bool sessionUp = false;
    int inflight = 0;
    int offlineMid = -1;
    bool offlineAcked = false;

    void Push(BrokerEvent event) {
        {
            const std::lock_guard lock(mutex);
            events.push_back(std::move(event));
        }
        Signal(eventFd);
    }

    bool StopRequested() {
        const std::lock_guard lock(mutex);
        return stopRequested;
    }

    void Run();
    std::string Setup();
    void Attempt();
    // One round of the library's network steps; MOSQ_ERR_SUCCESS while the connection stands.
    int Step(int waitMs, int& savedErrno);
    void Pump();
    void StopCleanly();
};

std::string MosquittoLink::Shared::Setup() {
    mosq = mosquitto_new(config.clientId.c_str(), true, this);
    if (!mosq)
        return std::string("cannot make the client: ") + std::strerror(errno);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(mosq, kWindow);
    mosquitto_will_set(mosq, status.c_str(), static_cast<int>(std::strlen(kOffline)), kOffline,
                       config.qos, true);
    if (!config.username.empty())
        mosquitto_username_pw_set(mosq, config.username.c_str(),
                                  config.password.empty() ? nullptr : config.password.c_str());
    if (config.tls) {
        const int rc = mosquitto_tls_set(
            mosq, config.caFile.empty() ? nullptr : config.caFile.c_str(),
            config.caFile.empty() ? kSystemCertificates : nullptr,
            config.certificateFile.empty() ? nullptr : config.certificateFile.c_str(),
            config.keyFile.empty() ? nullptr : config.keyFile.c_str(), &NoPassphrase);
        if (rc != MOSQ_ERR_SUCCESS)
            return "cannot use the TLS files: " + Reason(rc, errno);
    }
    mosquitto_connect_callback_set(
        mosq, [](mosquitto*, void* self, int rc) { static_cast<Shared*>(self)->connack = rc; });
    mosquitto_publish_callback_set(mosq, [](mosquitto*, void* self, int mid) {
        auto* s = static_cast<Shared*>(self);
        --s->inflight;
        ++s->published;
        if (mid == s->offlineMid)
            s->offlineAcked = true;
    });
    mosquitto_message_callback_set(mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
        static_cast<Shared*>(self)->Push({BrokerEvent::Kind::Command, m->topic, m->retain});
    });
    return {};
}

void MosquittoLink::Shared::Run() {
    setupFault = Setup();
    for (;;) {
        bool connect = false;
        {
            const std::lock_guard lock(mutex);
            if (stopRequested)
                break;
            connect = std::exchange(connectRequested, false);
        }
        if (connect && setupFault.empty()) {
            Attempt();
            continue;
        }
        if (connect) {
            Push({BrokerEvent::Kind::ConnectFailed, setupFault});
            continue;
        }
        pollfd wake{wakeFd, POLLIN, 0};
        ::poll(&wake, 1, -1);
        Drain(wakeFd);
    }
    if (mosq)
        mosquitto_destroy(mosq);
    mosq = nullptr;
    Push({BrokerEvent::Kind::Stopped, ""});
    const std::lock_guard lock(mutex);
    finished = true;
    finishedChanged.notify_all();
}

int MosquittoLink::Shared::Step(int waitMs, int& savedErrno) {
    const int socket = mosquitto_socket(mosq);
    if (socket < 0)
        return MOSQ_ERR_NO_CONN;
    pollfd fds[2] = {
        {socket, static_cast<short>(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0},
        {wakeFd, POLLIN, 0}};
    ::poll(fds, 2, waitMs);
    if (fds[1].revents)
        Drain(wakeFd);
    int rc = MOSQ_ERR_SUCCESS;
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP))
        rc = mosquitto_loop_read(mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(mosq))
        rc = mosquitto_loop_write(mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop_misc(mosq);
    savedErrno = errno;
    return rc;
}

void MosquittoLink::Shared::Pump() {
    while (inflight < kWindow) {
        auto message = handoff.Take();
        if (!message)
            return;
        ++inflight; // before the call: a QoS 0 message may be reported sent inside it
        const int rc = mosquitto_publish(mosq, nullptr, message->topic.c_str(),
                                         static_cast<int>(message->payload.size()),
                                         message->payload.data(), message->qos, message->retain);
        if (rc != MOSQ_ERR_SUCCESS)
            --inflight; // a lost connection shows in the next step
    }
}

void MosquittoLink::Shared::Attempt() {
    connack = -1;
    sessionUp = false;
    errno = 0;
    int rc = mosquitto_connect(mosq, config.host.c_str(), config.port, kKeepAliveS);
    int savedErrno = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        Push({BrokerEvent::Kind::ConnectFailed, Reason(rc, savedErrno)});
        return;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnackWaitMs);
    while (!StopRequested()) {
        rc = Step(sessionUp ? 1000 : 100, savedErrno);
        if (!sessionUp && connack > 0) {
            Push({BrokerEvent::Kind::ConnectFailed, ConnackReason(connack)});
            mosquitto_disconnect(mosq);
            return;
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            Push({sessionUp ? BrokerEvent::Kind::Lost : BrokerEvent::Kind::ConnectFailed,
                  Reason(rc, savedErrno)});
            return;
        }
        if (!sessionUp && connack == 0) {
            sessionUp = true;
            inflight = 0;
            handoff.Clear();
            if (config.commands)
                mosquitto_subscribe(mosq, nullptr, zeroFilter.c_str(), 1);
            Push({BrokerEvent::Kind::Connected, ""});
        }
        if (!sessionUp && Clock::now() > deadline) {
            Push({BrokerEvent::Kind::ConnectFailed, "no answer from the broker"});
            mosquitto_disconnect(mosq);
            return;
        }
        if (sessionUp)
            Pump();
    }
    if (sessionUp)
        StopCleanly();
    else
        mosquitto_disconnect(mosq);
}

void MosquittoLink::Shared::StopCleanly() {
    offlineAcked = false;
    offlineMid = -1;
    int mid = 0;
    if (mosquitto_publish(mosq, &mid, status.c_str(), static_cast<int>(std::strlen(kOffline)),
                          kOffline, config.qos, true) == MOSQ_ERR_SUCCESS) {
        offlineMid = mid;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kStopGraceMs);
        int savedErrno = 0;
        while (!offlineAcked && Clock::now() < deadline)
            if (Step(50, savedErrno) != MOSQ_ERR_SUCCESS)
                return; // gone: the broker sends the will instead
    }
    mosquitto_disconnect(mosq);
}

MosquittoLink::MosquittoLink(const MqttConfig& config, std::size_t handoffCapacity)
    : shared_(std::make_shared<Shared>(config, handoffCapacity)) {
    InitLibrary();
    thread_ = std::thread([shared = shared_] { shared->Run(); });
}

MosquittoLink::~MosquittoLink() {
    Close();
    std::unique_lock lock(shared_->mutex);
    const bool finished = shared_->finishedChanged.wait_for(
        lock, std::chrono::milliseconds(kStopGraceMs + 1000), [&] { return shared_->finished; });
    lock.unlock();
    if (finished)
        thread_.join();
    else
        thread_.detach(); // it holds its own share of the state
}

void MosquittoLink::Connect() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->connectRequested = true;
    }
    Signal(shared_->wakeFd);
}

bool MosquittoLink::Offer(OutMessage message) {
    return shared_->handoff.Offer(std::move(message));
}

void MosquittoLink::Reserve(std::size_t topics) {
    shared_->handoff.Reserve(topics);
}

std::vector<BrokerEvent> MosquittoLink::TakeEvents() {
    Drain(shared_->eventFd);
    const std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->events, {});
}

int MosquittoLink::EventFd() const {
    return shared_->eventFd;
}

void MosquittoLink::Close() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopRequested = true;
    }
    Signal(shared_->wakeFd);
}

std::uint64_t MosquittoLink::Published() const {
    return shared_->published.load();
}

std::uint64_t MosquittoLink::Coalesced() const {
    return shared_->handoff.Coalesced();
}

} // namespace vesmera
