#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/held_settings.h"
#include "common/poll_reading.h"
#include "net/line_channel.h"
#include "net/weight_server.h"

namespace vesmera {

// The network mode's two timers over the main window's channel: Timer2 reconnects silently
// and polls the selected tab's terminal, Timer3 reconnects and reports a server it cannot
// reach. A connection the server has closed or reset is discarded by either tick, so the
// next connect starts afresh.
//
// The display never shows a weight as live that is not: Timer3 shows "Сервер не найден" when
// no poll of the selected tab has succeeded since its previous tick, connected or not. And no
// byte is ever read as the reply to a request it was not sent for: a poll that fails after its
// request went out, or whose reply is more than its two lines, drops the connection, and the
// next tick reconnects.
//
// A tick only starts work on the channel; what it means for the display is handed on as one
// PollReading when that work ends, from the event loop, so the window is never held by a
// connect or a reply. One piece of work runs on
// the channel at a time. A Timer2 tick that falls due meanwhile is held once and runs at its
// end; a Timer3 tick is never dropped: it is held and runs first.
class NetworkPoller {
public:
    using SelectedTab = std::function<std::optional<std::string>()>;

    using ReadingListener = std::function<void(const PollReading&)>;

    NetworkPoller(ILineChannel& client, const HeldSettings& settings, SelectedTab selectedTab);
    ~NetworkPoller();
    NetworkPoller(const NetworkPoller&) = delete;
    NetworkPoller& operator=(const NetworkPoller&) = delete;

    void Timer2Tick();
    void Timer3Tick();
    // Another tab is selected: the freshness count starts afresh, and a poll in flight for the
    // old tab shows nothing when it ends.
    void TabChanged();
    // The apply step has replaced the settings: the work in flight runs to its end on the
    // channel (a poll still reads its whole reply), but shows and reports nothing, and the
    // ticks held behind it do not run.
    void Supersede();

    // Told of every change a poll or a reconnect makes to what is shown. Each reading carries
    // the weight and status of the last reply that parsed, whatever the display made of it.
    void SetReadingListener(ReadingListener listener) { listener_ = std::move(listener); }
    // True while a connect or a poll is in flight on the channel.
    bool Busy() const { return work_ != Work::None; }

private:
    enum class Work { None, SilentConnect, Poll, Connect };
    // A poll that ends in "Сервер не найден". Only the channel's own failures say something a
    // user can act on, so only they carry a text for the failure report; a missing tab or a
    // malformed reply is plain from the display.
    struct PollFailure {
        std::optional<std::string> channelMessage;
    };
    // The connected test. A test that fails itself means a reset connection: it is dropped, and
    // the failure is given.
    struct Connection {
        bool connected = false;
        std::optional<PollFailure> failure;
    };

    void StartTimer2();
    void PollIfConnected();
    void PollEnded(const ExchangeOutcome& outcome, std::uint64_t tab, std::uint64_t era);
    void Succeeded(PollReading& reading);
    // False when the status line, the colour setting or the weight line does not convert; the
    // digits' colour may be set by then.
    bool Show(const PollReply& reply, PollReading& reading);
    void StartTimer3();
    void ConnectEnded(const LineResult& result, std::uint64_t era);
    void WorkEnded();
    void Failed(const PollFailure& failure, PollReading reading = {});
    void FailedAndEnded(const PollFailure& failure);
    Connection TestConnection();
    void DropIfDead();
    void Emit(PollReading reading);

    ILineChannel& client_;
    const HeldSettings& settings_;
    SelectedTab selectedTab_;
    ReadingListener listener_;
    ReadingValue last_;

    Work work_ = Work::None;
    bool heldTimer2_ = false;
    bool heldTimer3_ = false;
    bool polledSinceTimer3_ = false; // a poll of the selected tab succeeded since the last tick
    bool countAfresh_ = true;        // the next Timer3 tick only starts the count
    std::uint64_t tab_ = 0;          // counts tab changes
    std::uint64_t era_ = 0;          // counts the apply steps that superseded work
    std::unique_ptr<ServerExchange> exchange_;
};

} // namespace vesmera
