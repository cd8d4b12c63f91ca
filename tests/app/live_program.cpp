#include "live_program.h"

#include <chrono>
#include <stdexcept>

namespace vesmera::harness {

using namespace std::chrono_literals;

AnsweringTerminal::AnsweringTerminal(SimProtocol protocol) : terminal_(protocol, 1) {
    terminal_.SetWeight(*ParseSimWeight("12.5"));
    terminal_.SetStable(true);
    thread_ = std::thread([this] { Answer(); });
}

AnsweringTerminal::~AnsweringTerminal() {
    stop_ = true;
    thread_.join();
}

void AnsweringTerminal::Answer() {
    while (!stop_) {
        const std::string bytes = line_.Read(20ms);
        if (bytes.empty())
            continue;
        std::string reply;
        {
            const std::lock_guard lock(mutex_);
            reply = terminal_.Receive(bytes);
        }
        if (!reply.empty())
            line_.Write(reply);
    }
}

void AnsweringTerminal::SetWeight(const std::string& weight) {
    const auto parsed = ParseSimWeight(weight);
    if (!parsed)
        throw std::invalid_argument("not a terminal weight: " + weight);
    const std::lock_guard lock(mutex_);
    terminal_.SetWeight(*parsed);
}

void AnsweringTerminal::SetSilent(bool silent) {
    const std::lock_guard lock(mutex_);
    terminal_.SetSilent(silent);
}

int AnsweringTerminal::WeightRequests() {
    const std::lock_guard lock(mutex_);
    return terminal_.WeightRequests();
}

int AnsweringTerminal::ZeroRequests() {
    const std::lock_guard lock(mutex_);
    return terminal_.ZeroRequests();
}

LiveProgram::LiveProgram(const std::string& executable, const std::string& busAddress,
                         SimProtocol protocol, int delayMs)
    : terminal_(protocol) {
    folder_.CopyExecutable(executable, "vesmera");
    folder_.WriteFile("Vesmera.ini",
                      LocalSettings(terminal_.Path(),
                                    protocol == SimProtocol::Vorlen ? "Ворлен" : "6.43", delayMs));
    process_ = std::make_unique<ChildProcess>(
        folder_.Path() + "/vesmera", std::vector<std::string>{},
        std::vector<std::string>{"QT_QPA_PLATFORM=offscreen", "DISPLAY=", "WAYLAND_DISPLAY=",
                                 "LC_ALL=", "LC_NUMERIC=", "LANG=ru_RU.UTF-8",
                                 "DBUS_SESSION_BUS_ADDRESS=" + busAddress},
        folder_.Path());
}

} // namespace vesmera::harness
