// A weight server on loopback for the network mode: answers each poll line (a terminal name)
// with a weight line and a status line, accepts "SetNull<name>" lines without an answer and
// logs them, and can be told new readings, a reply delay, or to close or reset every
// connection, from its command line and from lines on its standard input.
//
//   weight-server-sim [--port N] [--delay MS] [--terminal NAME WEIGHT STATUS]...
//
// The first line written to standard output is the port it listens on (ephemeral unless
// --port is given); every later line is a log entry ("poll NAME", "zero NAME", "connect",
// "disconnect", "set NAME", "remove NAME", "close", "reset", "hostile N"). Commands on standard
// input, one per line:
//
//   set WEIGHT STATUS NAME   the terminal NAME (the rest of the line) answers WEIGHT, STATUS
//   remove NAME              NAME becomes unknown: it answers -5000 and -5003
//   delay MS                 replies leave MS milliseconds after their request
//   hostile N                the next N poll replies are hostile lines (see HostileReplies),
//                            taken in turn from where the last ones stopped
//   close                    every connection is closed (end of stream)
//   reset                    every connection is reset
//   quit                     the server ends

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/weight_codes.h"

namespace {

struct Reading {
    std::string weight;
    std::string status;
};

struct PendingReply {
    std::int64_t due;
    std::string bytes;
};

struct Client {
    int fd;
    std::string input;
    std::deque<PendingReply> replies;
};

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <typename T> std::optional<T> ParseNumber(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Replies a broken or malicious server might send. Each but the over-long one is two lines, so a
// client that reads two lines a poll stays in step with the stream; the over-long line makes a
// client that limits its lines drop the connection.
const std::vector<std::string>& HostileReplies() {
    using namespace std::string_literals;
    static const std::vector<std::string> replies{
        "\xFF\xFE\xC3\r\n-5002\r\n"s,        // invalid UTF-8
        "12\0,5\r\n-5002\r\n"s,              // a NUL inside the number
        "1e999\r\n-5002\r\n"s,               // out of range
        "nan\r\n-5003\r\n"s,                 // not a number
        "12,5\r\n99999999999999999999\r\n"s, // status beyond 32 bits
        "\r\n\r\n"s,                         // two empty lines
        "12,5\r\r\n-5002 and more\r\n"s,     // stray CR, text after the status
        "\x1B[2J\x1B]0;x\x07"
        "12,5\r\n-5002\r\n"s,                      // terminal escapes
        std::string(16000, '9') + "\r\n-5002\r\n", // long, within a 16 KiB line limit
        std::string(20000, '7') + "\r\n-5002\r\n", // over a 16 KiB line limit
        "-5001\r\n-5003\r\n"s,                     // a code, so the display changes again
    };
    return replies;
}

void Log(const std::string& line) {
    std::cout << line << '\n' << std::flush;
}

class Simulator {
public:
    bool Listen(std::uint16_t port) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0) {
            std::cerr << "weight-server-sim: cannot listen: " << std::strerror(errno) << '\n';
            return false;
        }
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        Log(std::to_string(ntohs(address.sin_port)));
        return true;
    }

    void Set(const std::string& name, Reading reading) { terminals_[name] = std::move(reading); }
    void SetDelay(int ms) { delayMs_ = ms; }

    int Run() {
        while (running_) {
            std::vector<pollfd> fds;
            fds.push_back({listener_, POLLIN, 0});
            fds.push_back({stdinOpen_ ? 0 : -1, POLLIN, 0});
            const std::int64_t now = NowMs();
            for (const Client& c : clients_) {
                // A due reply still here is waiting for room in the socket.
                fds.push_back({c.fd, static_cast<short>(POLLIN | (Due(c, now) ? POLLOUT : 0)), 0});
            }
            if (::poll(fds.data(), fds.size(), NextTimeout()) < 0 && errno != EINTR) {
                return 1;
            }
            if (fds[0].revents & POLLIN) {
                Accept();
            }
            if (fds[1].revents & (POLLIN | POLLHUP)) {
                ReadCommands();
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (fds[i].revents & ~POLLOUT) {
                    ReadRequests(fds[i].fd);
                }
            }
            SendDueReplies();
            DropClosed();
        }
        return 0;
    }

private:
    int NextTimeout() const {
        std::int64_t next = -1;
        const std::int64_t now = NowMs();
        for (const Client& c : clients_) {
            if (!c.replies.empty() && !Due(c, now) && (next < 0 || c.replies.front().due < next)) {
                next = c.replies.front().due;
            }
        }
        if (next < 0) {
            return -1;
        }
        return static_cast<int>(std::max<std::int64_t>(0, next - NowMs()));
    }

    void Accept() {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            clients_.push_back({fd, {}, {}});
            Log("connect");
        }
    }

    Client* Find(int fd) {
        for (Client& c : clients_) {
            if (c.fd == fd) {
                return &c;
            }
        }
        return nullptr;
    }

    void ReadRequests(int fd) {
        Client* client = Find(fd);
        if (client == nullptr) {
            return; // closed by a command in this round
        }
        char bytes[4096];
        const long n = ::recv(fd, bytes, sizeof bytes, MSG_DONTWAIT);
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                Close(*client, false);
            }
            return;
        }
        client->input.append(bytes, static_cast<std::size_t>(n));
        for (std::size_t lf; (lf = client->input.find('\n')) != std::string::npos;) {
            std::string line = client->input.substr(0, lf);
            client->input.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            Answer(*client, line);
        }
    }

    void Answer(Client& client, const std::string& line) {
        constexpr std::string_view kZero = "SetNull";
        if (line.starts_with(kZero)) {
            Log("zero " + line.substr(kZero.size()));
            return;
        }
        Log("poll " + line);
        const auto found = terminals_.find(line);
        const Reading reading = found != terminals_.end()
                                    ? found->second
                                    : Reading{std::to_string(vesmera::kNoSuchTerminal),
                                              std::to_string(vesmera::kStatusUnstable)};
        std::string bytes = reading.weight + "\r\n" + reading.status + "\r\n";
        if (hostileLeft_ > 0) {
            --hostileLeft_;
            const auto& hostile = HostileReplies();
            bytes = hostile[nextHostile_++ % hostile.size()];
        }
        client.replies.push_back({NowMs() + delayMs_, std::move(bytes)});
    }

    // Sends what is due without blocking: a client that does not read (or a long hostile reply)
    // must not stop the server; the rest of a reply waits until the socket takes more.
    void SendDueReplies() {
        const std::int64_t now = NowMs();
        for (Client& c : clients_) {
            while (c.fd >= 0 && !c.replies.empty() && c.replies.front().due <= now) {
                std::string& bytes = c.replies.front().bytes;
                const long n =
                    ::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                    break;
                }
                if (n < 0) {
                    Close(c, false);
                    break;
                }
                bytes.erase(0, static_cast<std::size_t>(n));
                if (!bytes.empty()) {
                    break;
                }
                c.replies.pop_front();
            }
        }
    }

    static bool Due(const Client& c, std::int64_t now) {
        return !c.replies.empty() && c.replies.front().due <= now;
    }

    void Close(Client& client, bool reset) {
        if (client.fd < 0) {
            return;
        }
        if (reset) {
            const linger hard{1, 0};
            ::setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(client.fd);
        client.fd = -1;
        Log("disconnect");
    }

    void DropClosed() {
        std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });
    }

    void ReadCommands() {
        char bytes[4096];
        const long n = ::read(0, bytes, sizeof bytes);
        if (n <= 0) {
            stdinOpen_ = false; // keep serving without commands
            return;
        }
        commands_.append(bytes, static_cast<std::size_t>(n));
        for (std::size_t lf; (lf = commands_.find('\n')) != std::string::npos;) {
            std::string line = commands_.substr(0, lf);
            commands_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            Command(line);
        }
    }

    // The word before the first blank and the rest after it.
    static std::pair<std::string, std::string> Split(const std::string& text) {
        const auto blank = text.find(' ');
        if (blank == std::string::npos) {
            return {text, ""};
        }
        return {text.substr(0, blank), text.substr(blank + 1)};
    }

    void Command(const std::string& line) {
        const auto [verb, rest] = Split(line);
        if (verb == "set") {
            const auto [weight, afterWeight] = Split(rest);
            const auto [status, name] = Split(afterWeight);
            Set(name, {weight, status});
            Log("set " + name);
        } else if (verb == "remove") {
            terminals_.erase(rest);
            Log("remove " + rest);
        } else if (verb == "delay") {
            if (const auto ms = ParseNumber<int>(rest); ms && *ms >= 0) {
                delayMs_ = *ms;
                Log("delay " + rest);
            } else {
                std::cerr << "weight-server-sim: bad delay '" << rest << "'\n";
            }
        } else if (verb == "hostile") {
            if (const auto n = ParseNumber<int>(rest); n && *n >= 0) {
                hostileLeft_ = *n;
                Log("hostile " + rest);
            } else {
                std::cerr << "weight-server-sim: bad hostile count '" << rest << "'\n";
            }
        } else if (verb == "close" || verb == "reset") {
            Log(verb);
            for (Client& c : clients_) {
                Close(c, verb == "reset");
            }
        } else if (verb == "quit") {
            running_ = false;
        } else if (!verb.empty()) {
            std::cerr << "weight-server-sim: unknown command '" << verb << "'\n";
        }
    }

    int listener_ = -1;
    bool running_ = true;
    bool stdinOpen_ = true;
    int delayMs_ = 0;
    int hostileLeft_ = 0;
    std::size_t nextHostile_ = 0;
    std::map<std::string, Reading> terminals_;
    std::vector<Client> clients_;
    std::string commands_;
};

int Usage() {
    std::cerr << "usage: weight-server-sim [--port N] [--delay MS] "
                 "[--terminal NAME WEIGHT STATUS]...\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Simulator simulator;
    std::uint16_t port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            const auto value = ParseNumber<std::uint16_t>(argv[++i]);
            if (!value) {
                return Usage();
            }
            port = *value;
        } else if (arg == "--delay" && i + 1 < argc) {
            const auto value = ParseNumber<int>(argv[++i]);
            if (!value || *value < 0) {
                return Usage();
            }
            simulator.SetDelay(*value);
        } else if (arg == "--terminal" && i + 3 < argc) {
            simulator.Set(argv[i + 1], {argv[i + 2], argv[i + 3]});
            i += 3;
        } else {
            return Usage();
        }
    }
    if (!simulator.Listen(port)) {
        return 1;
    }
    return simulator.Run();
}
