#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/scheduler.h"
#include "link/serial_channel.h"
#include "server/reading.h"
#include "server/request_handler.h"
#include "server/server_config.h"
#include "server/terminal_link.h"

namespace vesmera {

class IServerLog;

// The configured terminals, each with its own serial channel and link, found by exact name.
// Their readings change only on the loop, and each change reaches the subscribers at once.
class TerminalSet final : public ITerminalDirectory, public ITerminalReadings {
public:
    // Makes the channel of one terminal, configured and closed.
    using ChannelFactory = std::function<std::unique_ptr<ISerialChannel>(const TerminalConfig&)>;

    TerminalSet(const ServerConfig& config, IScheduler& scheduler, WallClock wallClock,
                IServerLog& log, const ChannelFactory& makeChannel);
    TerminalSet(const TerminalSet&) = delete; // the links call back into this object
    TerminalSet& operator=(const TerminalSet&) = delete;

    void Start();
    std::optional<TerminalAnswer> Answer(std::string_view name) const override;
    bool Zero(std::string_view name) override;

    std::vector<Reading> Readings() const override;
    std::optional<Reading> ReadingOf(std::string_view name) const override;
    ReadingSubscription Subscribe(ReadingListener listener) override;
    std::vector<PollCounts> Polls() const override;

private:
    struct Terminal {
        std::unique_ptr<ISerialChannel> channel;
        std::unique_ptr<TerminalLink> link;
    };
    TerminalLink* Find(std::string_view name) const;

    std::vector<Terminal> terminals_;
    std::unordered_map<std::string, TerminalLink*> byName_;
    ReadingSubscribers subscribers_;
};

// The real serial port of a terminal, set up as the display sets up its own: the speed when
// it is one the display offers, 8 data bits, 1 stop bit, no parity check, NULs kept. Its
// writes never wait for the line.
std::unique_ptr<ISerialChannel> MakeSerialPort(const TerminalConfig& config);

} // namespace vesmera
