#include "net/network_poller.h"

#include <utility>

#include "common/color.h"
#include "common/number_text.h"
#include "net/line_channel_error.h"

namespace vesmera {

NetworkPoller::NetworkPoller(ILineChannel& client, const HeldSettings& settings,
                             IIndicatorView& indicator, IMessageView& message,
                             SelectedTab selectedTab)
    : client_(client), settings_(settings), indicator_(indicator), message_(message),
      selectedTab_(std::move(selectedTab)) {}

NetworkPoller::~NetworkPoller() {
    // The channel outlives the poller: work in flight must not come back to it.
    if (Busy())
        client_.Discard();
}

void NetworkPoller::ShowWeight(const std::string& line) {
    indicator_.SetIndicatorString(line);
    message_.SetVisible(false);
    indicator_.SetVisible(true);
}

void NetworkPoller::ShowMessage(const std::string& text) {
    indicator_.SetVisible(false);
    message_.SetVisible(true);
    message_.SetText(text);
}

void NetworkPoller::DropIfDead() {
    if (client_.Dead()) {
        client_.Discard();
    }
}

bool NetworkPoller::ConnectedOrDrop() {
    try {
        return client_.Connected();
    } catch (const Exception&) {
        client_.Discard();
        throw;
    }
}

void NetworkPoller::ReportChannelFailure(const Exception& e) {
    // Only the channel's own failures say something a user can act on; a malformed reply or a
    // missing tab is plain from the display.
    if (failures_ && dynamic_cast<const LineChannelError*>(&e))
        failures_->Failed(e.Message());
}

void NetworkPoller::Failed(const Exception& error) {
    ReportChannelFailure(error);
    ShowMessage(kMessageServerNotFound);
    DropIfDead();
}

void NetworkPoller::Timer2Tick() {
    if (Busy()) {
        heldTimer2_ = true;
        return;
    }
    StartTimer2();
}

void NetworkPoller::StartTimer2() {
    bool connected = false;
    try {
        connected = client_.Connected();
    } catch (const Exception& e) {
        // A reset connection: dropped, and the next tick reconnects.
        client_.Discard();
        Failed(e);
        WorkEnded();
        return;
    }
    if (connected) {
        PollIfConnected();
        return;
    }
    // The silent reconnect: its failure is no news, the display stays as it is.
    work_ = Work::SilentConnect;
    client_.Connect([this, era = era_](const LineResult&) {
        work_ = Work::None;
        if (era == era_)
            PollIfConnected();
        else
            WorkEnded();
    });
}

void NetworkPoller::PollIfConnected() {
    try {
        if (!ConnectedOrDrop()) {
            WorkEnded();
            return;
        }
        const std::optional<std::string> terminal = selectedTab_ ? selectedTab_() : std::nullopt;
        if (!terminal)
            throw Exception("no terminal tab");
        if (client_.HasUnread()) {
            // Bytes nobody asked for: whatever the next request reads could be theirs.
            client_.Discard();
            throw Exception("unrequested bytes from the server");
        }
        switch (CheckPollName(*terminal)) {
        case PollName::Smuggles:
            throw Exception("terminal name holds a line end");
        case PollName::ZeroLookalike:
            // The server would take it as a zero request; it knows no terminal of this name.
            ShowMessage(kMessageNoSuchTerminal);
            Succeeded();
            WorkEnded();
            return;
        case PollName::Sendable:
            break;
        }
        work_ = Work::Poll;
        exchange_ = std::make_unique<ServerExchange>(
            client_, Exchange::Poll, ServerExchange::Channel::Main, *terminal,
            [this, tab = tab_, era = era_](const ExchangeOutcome& outcome) {
                PollEnded(outcome, tab, era);
            });
        exchange_->Start();
    } catch (const Exception& e) {
        Failed(e);
        WorkEnded();
    }
}

void NetworkPoller::PollEnded(const ExchangeOutcome& outcome, std::uint64_t tab,
                              std::uint64_t era) {
    work_ = Work::None;
    if (era != era_) {
        // Still in step with the server: a failure after the request went out drops the
        // connection, but nothing is shown or reported under the new settings.
        if (outcome.requestSent && (outcome.error || client_.HasUnread()))
            client_.Discard();
        WorkEnded();
        return;
    }
    try {
        if (outcome.error)
            throw *outcome.error;
        if (client_.HasUnread())
            throw Exception("a reply of more than two lines");
        if (tab == tab_) {
            Show(outcome.reply);
            Succeeded();
        }
    } catch (const Exception& e) {
        // Once the request has gone out, what the server still sends for it would be read as
        // the reply to the next one: the connection goes, and the next tick starts in step.
        if (outcome.requestSent)
            client_.Discard();
        Failed(e);
    }
    WorkEnded();
}

void NetworkPoller::Succeeded() {
    polledSinceTimer3_ = true;
    if (failures_)
        failures_->Succeeded();
}

void NetworkPoller::Supersede() {
    ++era_;
    heldTimer2_ = false;
    heldTimer3_ = false;
}

void NetworkPoller::TabChanged() {
    ++tab_;
    polledSinceTimer3_ = false;
    countAfresh_ = true;
}

void NetworkPoller::Show(const PollReply& reply) {
    const std::optional<std::int32_t> status = ParseDecimalInt32(reply.statusLine);
    if (!status) {
        throw Exception("status line is not a whole number");
    }
    indicator_.SetNumberForeColor(*status == kStatusStable ? TextToColor(settings_.color2)
                                                           : TextToColor(settings_.color1));

    // A weight line has no thousands separator, so either mark is the decimal one, whatever
    // the user's own.
    const char separator = reply.weightLine.find(',') != std::string::npos ? ',' : '.';
    const std::optional<long double> weight = ParseFloat(reply.weightLine, separator);
    if (!weight) {
        throw Exception("weight line is not a number");
    }
    last_ = {*weight, *status};
    if (*weight > kWeightFloor) {
        ShowWeight(reply.weightLine);
    }
    if (*weight == kNoSuchTerminal) {
        ShowMessage(kMessageNoSuchTerminal);
    }
    if (*weight == kNoTerminalLink) {
        ShowMessage(kMessageNoTerminalLink);
    }
    if (*weight == kPortFailed) {
        ShowMessage(kMessageServerPortError);
    }
}

void NetworkPoller::Timer3Tick() {
    if (Busy()) {
        heldTimer3_ = true;
        return;
    }
    StartTimer3();
}

void NetworkPoller::StartTimer3() {
    // Nothing fresh since the last tick: the weight on show is no longer live.
    const bool stale = !polledSinceTimer3_ && !countAfresh_;
    polledSinceTimer3_ = false;
    countAfresh_ = false;
    if (stale)
        ShowMessage(kMessageServerNotFound);
    DropIfDead();
    bool connected = false;
    try {
        connected = ConnectedOrDrop();
    } catch (const Exception&) {
        // A reset connection, already dropped: reconnect below.
    }
    if (connected) {
        WorkEnded();
        return;
    }
    work_ = Work::Connect;
    client_.Connect([this, era = era_](const LineResult& result) { ConnectEnded(result, era); });
}

void NetworkPoller::ConnectEnded(const LineResult& result, std::uint64_t era) {
    work_ = Work::None;
    if (result.error && era == era_) {
        ReportChannelFailure(*result.error);
        ShowMessage(kMessageServerNotFound);
    }
    WorkEnded();
}

void NetworkPoller::WorkEnded() {
    if (workEnded_)
        workEnded_();
    // Held ticks, the supervising one first.
    if (heldTimer3_ && !Busy()) {
        heldTimer3_ = false;
        StartTimer3();
        return;
    }
    if (heldTimer2_ && !Busy()) {
        heldTimer2_ = false;
        StartTimer2();
    }
}

} // namespace vesmera
