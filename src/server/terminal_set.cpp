#include "server/terminal_set.h"

#include "link/comport.h"

namespace vesmera {

TerminalSet::TerminalSet(const ServerConfig& config, IScheduler& scheduler, WallClock wallClock,
                         IServerLog& log, const ChannelFactory& makeChannel) {
    terminals_.reserve(config.terminals.size());
    for (const auto& t : config.terminals) {
        Terminal terminal;
        terminal.channel = makeChannel(t);
        terminal.link = std::make_unique<TerminalLink>(t, *terminal.channel, scheduler, wallClock,
                                                       log, config.decimalSeparator);
        terminal.link->SetChangeListener([this](const Reading& r) { subscribers_.Publish(r); });
        byName_.emplace(t.name, terminal.link.get());
        terminals_.push_back(std::move(terminal));
    }
}

void TerminalSet::Start() {
    for (auto& t : terminals_)
        t.link->Start();
}

TerminalLink* TerminalSet::Find(std::string_view name) const {
    const auto it = byName_.find(std::string(name));
    return it == byName_.end() ? nullptr : it->second;
}

std::optional<TerminalAnswer> TerminalSet::Answer(std::string_view name) const {
    if (const TerminalLink* link = Find(name))
        return link->Answer();
    return std::nullopt;
}

bool TerminalSet::Zero(std::string_view name) {
    TerminalLink* link = Find(name);
    if (link)
        link->Zero();
    return link != nullptr;
}

std::vector<Reading> TerminalSet::Readings() const {
    std::vector<Reading> out;
    out.reserve(terminals_.size());
    for (const auto& t : terminals_)
        out.push_back(t.link->CurrentReading());
    return out;
}

std::optional<Reading> TerminalSet::ReadingOf(std::string_view name) const {
    if (const TerminalLink* link = Find(name))
        return link->CurrentReading();
    return std::nullopt;
}

ReadingSubscription TerminalSet::Subscribe(ReadingListener listener) {
    return subscribers_.Subscribe(std::move(listener));
}

std::vector<PollCounts> TerminalSet::Polls() const {
    std::vector<PollCounts> out;
    out.reserve(terminals_.size());
    for (const auto& t : terminals_)
        out.push_back(t.link->Polls());
    return out;
}

std::unique_ptr<ISerialChannel> MakeSerialPort(const TerminalConfig& config) {
    // The port's writes hand the bytes to the driver and return at once.
    auto port = std::make_unique<TComPort>();
    port->SetBaudRate(br19200);
    switch (config.baudRate) {
    case 9600:
        port->SetBaudRate(br9600);
        break;
    case 14400:
        port->SetBaudRate(br14400);
        break;
    case 38400:
        port->SetBaudRate(br38400);
        break;
    case 57600:
        port->SetBaudRate(br57600);
        break;
    default:
        break; // 19200, and speeds the display does not offer, which leave it unchanged
    }
    port->SetPort(config.port);
    port->SetDataBits(dbEight);
    port->SetStopBits(sbOneStopBit);
    port->Parity().SetCheck(false);
    port->SetDiscardNull(false);
    return port;
}

} // namespace vesmera
