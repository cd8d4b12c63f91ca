// terminal-sim: a weighing terminal on a pseudo-terminal, for trying the program without a
// scale. It prints the device path to give the program as its port, answers "Ворлен" or
// "6.43" requests, and takes commands on standard input (see Usage()).

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/exception.h"
#include "terminal-sim/sim_pty.h"
#include "terminal-sim/sim_terminal.h"

using namespace vesmera;

namespace {

volatile std::sig_atomic_t g_stop = 0;

// A burst larger than the pseudo-terminal's buffer would block the simulator while nobody reads.
constexpr std::int32_t kMaxNoise = 4096;

void OnSignal(int) {
    g_stop = 1;
}

const char* Usage() {
    return "usage: terminal-sim [--protocol vorlen|643] [--address N] [--weight W] [--unstable]\n"
           "                    [--overload] [--silence] [--garbage] [--link PATH]\n"
           "                    [--drift STEP] [--drift-limit W] [--seed N] [--log]\n"
           "--garbage answers each weight request with 1 to 40 random bytes (line noise, a wrong\n"
           "speed, two devices on one line).\n"
           "Prints the device path on the first line. Commands on standard input, one a line:\n"
           "  weight W | stable | unstable | overload on|off | silence on|off |\n"
           "  garbage on|off | noise N (N random bytes now, unasked) | drift STEP |\n"
           "  address N | protocol vorlen|643 |\n"
           "  vanish (close the device) | back (a new device; prints its path) | state | quit\n"
           "--log writes one line per request served to standard error, with the time in ms.\n";
}

std::optional<std::int32_t> ParseInt(const std::string& text) {
    std::int32_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::optional<bool> ParseOnOff(const std::string& text) {
    if (text == "on" || text == "1")
        return true;
    if (text == "off" || text == "0")
        return false;
    return std::nullopt;
}

class Simulator {
public:
    Simulator(SimTerminal& terminal, std::string link, SimWeight driftLimit)
        : terminal_(terminal), link_(std::move(link)), driftLimit_(driftLimit) {}
    ~Simulator() { Unlink(); }

    void Appear() {
        pty_.Open();
        if (!link_.empty()) {
            // Replace the link in one step, so a reader never finds it missing or half made.
            const std::string temporary = link_ + ".tmp";
            ::unlink(temporary.c_str());
            if (::symlink(pty_.SlavePath().c_str(), temporary.c_str()) != 0 ||
                ::rename(temporary.c_str(), link_.c_str()) != 0)
                std::cerr << "terminal-sim: cannot link " << link_ << ": " << std::strerror(errno)
                          << "\n";
        }
        std::cout << pty_.SlavePath() << std::endl;
    }

    void Vanish() {
        Unlink();
        pty_.Close();
    }

    int Run() {
        bool input = true;
        bool masterHungUp = false;
        std::string pending;
        while (!g_stop) {
            std::vector<pollfd> fds;
            if (input)
                fds.push_back({STDIN_FILENO, POLLIN, 0});
            const bool watchMaster = pty_.IsOpen() && !masterHungUp;
            if (watchMaster)
                fds.push_back({pty_.MasterFd(), POLLIN, 0});
            // With no program on the slave the master reports a hang-up at once; look again
            // a little later instead of spinning.
            const int r = ::poll(fds.data(), fds.size(), watchMaster ? -1 : 20);
            if (r < 0 && errno != EINTR)
                return 1;
            masterHungUp = false;
            if (r <= 0)
                continue;
            std::size_t i = 0;
            if (input) {
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                    input = ReadCommands(pending);
                ++i;
            }
            if (watchMaster && i < fds.size() && pty_.IsOpen()) {
                if (fds[i].revents & POLLIN)
                    pty_.Write(terminal_.Receive(pty_.ReadAvailable()));
                else if (fds[i].revents & (POLLHUP | POLLERR))
                    masterHungUp = true;
            }
        }
        return 0;
    }

private:
    bool ReadCommands(std::string& pending) {
        char buf[512];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0)
            return n < 0 && errno == EINTR; // end of input: keep serving until signalled
        pending.append(buf, static_cast<std::size_t>(n));
        for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
            Command(pending.substr(0, nl));
            pending.erase(0, nl + 1);
        }
        return true;
    }

    void Command(const std::string& line) {
        std::istringstream in(line);
        std::string verb, arg;
        in >> verb >> arg;
        const auto onOff = ParseOnOff(arg);
        if (verb.empty())
            return;
        if (verb == "weight") {
            if (const auto w = ParseSimWeight(arg))
                terminal_.SetWeight(*w);
            else
                Error("weight takes up to six digits, at most four after the point");
        } else if (verb == "stable" || verb == "unstable") {
            terminal_.SetStable(verb == "stable");
        } else if (verb == "overload" && onOff) {
            terminal_.SetOverload(*onOff);
        } else if ((verb == "silence" || verb == "silent") && onOff) {
            terminal_.SetSilent(*onOff);
        } else if (verb == "garbage" && onOff) {
            terminal_.SetGarbage(*onOff);
        } else if (verb == "noise") {
            const auto n = ParseInt(arg);
            if (n && *n >= 0 && *n <= kMaxNoise)
                pty_.Write(terminal_.Noise(static_cast<std::size_t>(*n)));
            else
                Error("noise takes a byte count from 0 to " + std::to_string(kMaxNoise));
        } else if (verb == "drift") {
            if (const auto step = ParseSimWeight(arg))
                terminal_.SetDrift(*step, driftLimit_);
            else
                Error("drift takes a weight step");
        } else if (verb == "address" && ParseInt(arg)) {
            terminal_.SetAddress(*ParseInt(arg));
        } else if (verb == "protocol" && ParseSimProtocol(arg)) {
            terminal_.SetProtocol(*ParseSimProtocol(arg));
        } else if (verb == "vanish") {
            Vanish();
        } else if (verb == "back") {
            if (!pty_.IsOpen())
                Appear();
        } else if (verb == "state") {
            std::cout << terminal_.Describe()
                      << (pty_.IsOpen() ? " device " + pty_.SlavePath() : " vanished") << std::endl;
        } else if (verb == "quit") {
            g_stop = 1;
        } else {
            Error("unknown command: " + line);
        }
    }

    static void Error(const std::string& text) { std::cerr << "terminal-sim: " << text << "\n"; }

    void Unlink() {
        if (link_.empty() || !pty_.IsOpen())
            return;
        char target[256];
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == pty_.SlavePath())
            ::unlink(link_.c_str());
    }

    SimTerminal& terminal_;
    std::string link_;
    SimWeight driftLimit_;
    SimPty pty_;
};

} // namespace

int main(int argc, char** argv) {
    SimProtocol protocol = SimProtocol::Vorlen;
    std::int32_t address = 1;
    SimWeight weight;
    SimWeight drift;
    SimWeight driftLimit{1000, 0};
    bool stable = true, overload = false, silence = false, garbage = false, log = false;
    std::uint32_t seed = 1;
    std::string link;

    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : "";
        bool ok = true;
        if (a == "--help" || a == "-h") {
            std::cout << Usage();
            return 0;
        } else if (a == "--unstable") {
            stable = false;
        } else if (a == "--overload") {
            overload = true;
        } else if (a == "--silence") {
            silence = true;
        } else if (a == "--garbage") {
            garbage = true;
        } else if (a == "--log") {
            log = true;
        } else if (!hasValue) {
            ok = false;
        } else if (a == "--protocol" && ParseSimProtocol(value)) {
            protocol = *ParseSimProtocol(value);
            ++i;
        } else if (a == "--address" && ParseInt(value)) {
            address = *ParseInt(value);
            ++i;
        } else if (a == "--weight" && ParseSimWeight(value)) {
            weight = *ParseSimWeight(value);
            ++i;
        } else if (a == "--drift" && ParseSimWeight(value)) {
            drift = *ParseSimWeight(value);
            ++i;
        } else if (a == "--drift-limit" && ParseSimWeight(value)) {
            driftLimit = *ParseSimWeight(value);
            ++i;
        } else if (a == "--seed" && ParseInt(value)) {
            seed = static_cast<std::uint32_t>(*ParseInt(value));
            ++i;
        } else if (a == "--link") {
            link = value;
            ++i;
        } else {
            ok = false;
        }
        if (!ok) {
            std::cerr << "terminal-sim: bad argument " << a << "\n" << Usage();
            return 2;
        }
    }

    SimTerminal terminal(protocol, address, seed);
    terminal.SetWeight(weight);
    terminal.SetStable(stable);
    terminal.SetOverload(overload);
    terminal.SetSilent(silence);
    terminal.SetGarbage(garbage);
    terminal.SetDrift(drift, driftLimit);
    const auto start = std::chrono::steady_clock::now();
    if (log)
        terminal.onRequest = [start](const std::string& line) {
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            char ms[32];
            const auto end = std::to_chars(ms, ms + sizeof ms, us / 1000).ptr;
            std::cerr << std::string(ms, end) << '.' << (us % 1000) / 100 << " ms " << line
                      << std::endl;
        };

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        Simulator simulator(terminal, link, driftLimit);
        simulator.Appear();
        return simulator.Run();
    } catch (const Exception& e) {
        std::cerr << "terminal-sim: " << e.what() << "\n";
        return 1;
    }
}
