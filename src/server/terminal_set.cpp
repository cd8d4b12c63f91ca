#include "server/terminal_set.h"

#include <algorithm>

#include "link/comport.h"

namespace vesmera {

TerminalSet::TerminalSet(const ServerConfig& config, IScheduler& scheduler, WallClock wallClock,
                         IServerLog& log, ChannelFactory makeChannel)
    : scheduler_(scheduler), wallClock_(std::move(wallClock)), log_(log),
      makeChannel_(std::move(makeChannel)), decimalSeparator_(config.decimalSeparator) {
    terminals_.reserve(config.terminals.size());
    for (const auto& t : config.terminals)
        terminals_.push_back(Make(t));
    Index();
}

TerminalSet::Terminal TerminalSet::Make(const TerminalConfig& config) {
    Terminal terminal;
    terminal.channel = makeChannel_(config);
    terminal.link = std::make_unique<TerminalLink>(config, *terminal.channel, scheduler_,
                                                   wallClock_, log_, decimalSeparator_);
    terminal.link->SetChangeListener([this](const Reading& r) { subscribers_.Publish(r); });
    return terminal;
}

void TerminalSet::Index() {
    byName_.clear();
    for (auto& t : terminals_)
        byName_.emplace(t.link->Config().name, t.link.get());
}

void TerminalSet::Start() {
    for (auto& t : terminals_)
        t.link->Start();
}

std::size_t TerminalSet::LinkedCount() const {
    return static_cast<std::size_t>(std::count_if(
        terminals_.begin(), terminals_.end(), [](const Terminal& t) { return t.link->Linked(); }));
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

void TerminalSet::Prepare(const ServerConfig& next) {
    // Nothing here can fail: a port that does not open is a terminal's state, not a refusal.
    next_ = next;
}

namespace {

std::string Names(const char* what, const std::vector<std::string>& names) {
    std::string text = what;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i ? ", \"" : " \"") + names[i] + "\"";
    return text;
}

} // namespace

void TerminalSet::Commit(std::vector<std::string>& changes) {
    if (!next_)
        return;
    const ServerConfig next = std::move(*next_);
    next_.reset();
    if (next.decimalSeparator != decimalSeparator_) {
        decimalSeparator_ = next.decimalSeparator;
        for (auto& t : terminals_)
            t.link->SetDecimalSeparator(decimalSeparator_);
        changes.push_back(std::string("DecimalSeparator ") + decimalSeparator_);
    }
    std::unordered_map<std::string, Terminal> old;
    for (auto& t : terminals_) {
        std::string name = t.link->Config().name;
        old.emplace(std::move(name), std::move(t));
    }
    terminals_.clear();
    byName_.clear();
    std::vector<std::string> added, restarted, removed;
    std::vector<std::optional<Terminal>> kept(next.terminals.size());
    std::unordered_map<std::string, std::uint64_t> seqs; // of the terminals restarted
    for (std::size_t i = 0; i < next.terminals.size(); ++i) {
        const TerminalConfig& config = next.terminals[i];
        const auto it = old.find(config.name);
        if (it == old.end()) {
            added.push_back(config.name);
        } else if (it->second.link->Config() == config) {
            kept[i] = std::move(it->second);
            old.erase(it);
        } else {
            restarted.push_back(config.name);
            seqs[config.name] = it->second.link->CurrentReading().seq;
        }
    }
    for (const auto& [name, terminal] : old)
        if (std::find(restarted.begin(), restarted.end(), name) == restarted.end())
            removed.push_back(name);
    // Every port given up is closed before a new link opens one: a port may pass from one
    // terminal to another in the same reload.
    old.clear();
    std::vector<TerminalLink*> starting;
    for (std::size_t i = 0; i < next.terminals.size(); ++i) {
        if (kept[i]) {
            terminals_.push_back(std::move(*kept[i]));
            continue;
        }
        terminals_.push_back(Make(next.terminals[i]));
        TerminalLink* link = terminals_.back().link.get();
        if (const auto seq = seqs.find(link->Config().name); seq != seqs.end())
            link->ContinueAfter(seq->second);
        starting.push_back(link);
    }
    Index();
    for (TerminalLink* link : starting)
        link->Start();
    std::sort(removed.begin(), removed.end());
    if (removed_)
        for (const auto& name : removed)
            removed_(name);
    if (!added.empty())
        changes.push_back(Names("terminals added", added));
    if (!removed.empty())
        changes.push_back(Names("terminals removed", removed));
    if (!restarted.empty())
        changes.push_back(Names("terminals restarted with new port settings", restarted));
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
