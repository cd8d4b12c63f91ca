#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/scheduler.h"
#include "link/serial_channel.h"
#include "server/config_reload.h"
#include "server/reading.h"
#include "server/request_handler.h"
#include "server/server_config.h"
#include "server/terminal_link.h"

namespace vesmera {

class IServerLog;

// The configured terminals, each with its own serial channel and link, found by exact name.
// Their readings change only on the loop, and each change reaches the subscribers at once.
// A reload starts the terminals that are new, stops those that are gone and restarts those
// whose port settings changed; an unchanged terminal keeps its link, its last reading and seq.
class TerminalSet final : public ITerminalDirectory, public ITerminalReadings, public IReloadable {
public:
    // Makes the channel of one terminal, configured and closed.
    using ChannelFactory = std::function<std::unique_ptr<ISerialChannel>(const TerminalConfig&)>;

    TerminalSet(const ServerConfig& config, IScheduler& scheduler, WallClock wallClock,
                IServerLog& log, ChannelFactory makeChannel);
    TerminalSet(const TerminalSet&) = delete; // the links call back into this object
    TerminalSet& operator=(const TerminalSet&) = delete;

    void Start();
    std::optional<TerminalAnswer> Answer(std::string_view name) const override;
    bool Zero(std::string_view name) override;

    std::vector<Reading> Readings() const override;
    std::optional<Reading> ReadingOf(std::string_view name) const override;
    ReadingSubscription Subscribe(ReadingListener listener) override;
    std::vector<PollCounts> Polls() const override;

    // Told of each terminal a reload removes, after it has stopped.
    void SetRemovedListener(std::function<void(const std::string& name)> listener) {
        removed_ = std::move(listener);
    }

    std::size_t Count() const { return terminals_.size(); }
    std::size_t LinkedCount() const;

    void Prepare(const ServerConfig& next) override;
    void Commit(std::vector<std::string>& changes) override;
    void Abandon() override { next_.reset(); }

private:
    struct Terminal {
        std::unique_ptr<ISerialChannel> channel;
        std::unique_ptr<TerminalLink> link;
    };
    Terminal Make(const TerminalConfig& config);
    void Index();
    TerminalLink* Find(std::string_view name) const;

    IScheduler& scheduler_;
    WallClock wallClock_;
    IServerLog& log_;
    ChannelFactory makeChannel_;
    char decimalSeparator_;
    std::vector<Terminal> terminals_;
    std::unordered_map<std::string, TerminalLink*> byName_;
    ReadingSubscribers subscribers_;
    std::optional<ServerConfig> next_;
    std::function<void(const std::string& name)> removed_;
};

// The real serial port of a terminal, set up as the display sets up its own: the speed when
// it is one the display offers, 8 data bits, 1 stop bit, no parity check, NULs kept. Its
// writes never wait for the line.
std::unique_ptr<ISerialChannel> MakeSerialPort(const TerminalConfig& config);

} // namespace vesmera
