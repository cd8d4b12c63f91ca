#include "net/network_poller.h"

#include <utility>

#include "common/color.h"
#include "common/number_text.h"
#include "net/line_channel_error.h"

namespace vesmera {

NetworkPoller::NetworkPoller(ILineChannel& client, const HeldSettings& settings,
                             IIndicatorView& indicator, IMessageView& message,
                             SelectedTab selectedTab, char decimalSeparator)
    : client_(client), settings_(settings), indicator_(indicator), message_(message),
      selectedTab_(std::move(selectedTab)), decimalSeparator_(decimalSeparator) {}

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
    client_.Connect([this](const LineResult&) {
        work_ = Work::None;
        PollIfConnected();
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
        work_ = Work::Poll;
        exchange_ = std::make_unique<ServerExchange>(
            client_, Exchange::Poll, ServerExchange::Channel::Main, *terminal,
            [this](const ExchangeOutcome& outcome) { PollEnded(outcome); });
        exchange_->Start();
    } catch (const Exception& e) {
        Failed(e);
        WorkEnded();
    }
}

void NetworkPoller::PollEnded(const ExchangeOutcome& outcome) {
    work_ = Work::None;
    try {
        if (outcome.error)
            throw *outcome.error;
        Show(outcome.reply);
        if (failures_)
            failures_->Succeeded();
    } catch (const Exception& e) {
        if (outcome.error && outcome.error->Kind() == LineFailure::Socket)
            // A send that did not go out in time or a socket error: the stream is no longer
            // known to be in step, so the connection goes like a reset one.
            client_.Discard();
        Failed(e);
    }
    WorkEnded();
}

void NetworkPoller::Show(const PollReply& reply) {
    const std::optional<std::int32_t> status = ParseDecimalInt32(reply.statusLine);
    if (!status) {
        throw Exception("status line is not a whole number");
    }
    indicator_.SetNumberForeColor(*status == kStatusStable ? TextToColor(settings_.color2)
                                                           : TextToColor(settings_.color1));

    const std::optional<long double> weight = ParseFloat(reply.weightLine, decimalSeparator_);
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
    if (*weight == kServerPortError) {
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
    client_.Connect([this](const LineResult& result) { ConnectEnded(result); });
}

void NetworkPoller::ConnectEnded(const LineResult& result) {
    work_ = Work::None;
    if (result.error) {
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
