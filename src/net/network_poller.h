#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/held_settings.h"
#include "common/views.h"
#include "net/line_channel.h"

#include "common/exception.h"
#include "common/failure_report.h"

namespace vesmera {

inline constexpr const char* kMessageNoSuchTerminal = "Teрминал не найден"; // Latin "Te"
inline constexpr const char* kMessageNoTerminalLink = "С терминалом нет связи";
inline constexpr const char* kMessageServerPortError = "Ошибка открытия Com-порта на сервере";
inline constexpr const char* kMessageServerNotFound = "Сервер не найден";

// The network mode's two timers over the main window's channel: Timer2 reconnects silently
// and polls the selected tab's terminal, Timer3 reconnects and reports a server it cannot
// reach. A connection the server has closed or reset is discarded by either tick, so the
// next connect starts afresh.
class NetworkPoller {
public:
    using SelectedTab = std::function<std::optional<std::string>()>;

    NetworkPoller(ILineChannel& client, const HeldSettings& settings, IIndicatorView& indicator,
                  IMessageView& message, SelectedTab selectedTab, char decimalSeparator);

    void Timer2Tick();
    void Timer3Tick();

    // Where the channel's failure texts go; none by default.
    void SetFailureReport(FailureReport* report) { failures_ = report; }

    // The weight and status of the last reply that parsed, whatever the display made of it.
    struct ServerReading {
        long double weight = 0;
        std::int32_t status = 0;
    };
    const ServerReading& LastReading() const { return last_; }

private:
    void ReportChannelFailure(const Exception& e);
    // The connected test; a test that fails itself means a reset connection, which is dropped.
    bool ConnectedOrDrop();
    void DropIfDead();
    void Poll();
    void ShowWeight(const std::string& line);
    void ShowMessage(const std::string& text);

    ILineChannel& client_;
    const HeldSettings& settings_;
    IIndicatorView& indicator_;
    IMessageView& message_;
    SelectedTab selectedTab_;
    char decimalSeparator_;
    FailureReport* failures_ = nullptr;
    ServerReading last_;
};

} // namespace vesmera
