#include "net/network_poller.h"

#include <utility>

#include "common/color.h"
#include "common/exception.h"
#include "common/number_text.h"
#include "common/shown_messages.h"
#include "net/line_channel_error.h"

namespace vesmera {

namespace {

// The server's codes that stand for a message; any other code changes nothing but the colour.
const char* CodeMessage(long double code) {
    if (code == kNoSuchTerminal)
        return kMessageNoSuchTerminal;
    if (code == kNoTerminalLink)
        return kMessageLinkLost;
    if (code == kPortFailed)
        return kMessageServerPortError;
    return nullptr;
}

} // namespace

NetworkPoller::NetworkPoller(ILineChannel& client, const HeldSettings& settings,
                             SelectedTab selectedTab)
    : client_(client), settings_(settings), selectedTab_(std::move(selectedTab)) {}

NetworkPoller::~NetworkPoller() {
    // The channel outlives the poller: work in flight must not come back to it.
    if (Busy())
        client_.Discard();
}

void NetworkPoller::Emit(PollReading reading) {
    reading.value = last_;
    // A poll of the server waits for nothing but its reply: Timer2's interval sets the pace.
    reading.scriptWaitMs = 0;
    if (listener_)
        listener_(reading);
}

void NetworkPoller::DropIfDead() {
    if (client_.Dead()) {
        client_.Discard();
    }
}

NetworkPoller::Connection NetworkPoller::TestConnection() {
    try {
        return {client_.Connected(), std::nullopt};
    } catch (const LineChannelError& e) {
        client_.Discard();
        return {false, PollFailure{e.Message()}};
    } catch (const Exception&) {
        client_.Discard();
        return {false, PollFailure{}};
    }
}

void NetworkPoller::Failed(const PollFailure& failure, PollReading reading) {
    reading.face = PollReading::Face::Message;
    reading.messageText = kMessageServerNotFound;
    reading.failure = failure.channelMessage;
    Emit(std::move(reading));
    DropIfDead();
}

void NetworkPoller::FailedAndEnded(const PollFailure& failure) {
    Failed(failure);
    WorkEnded();
}

void NetworkPoller::Timer2Tick() {
    if (Busy()) {
        heldTimer2_ = true;
        return;
    }
    StartTimer2();
}

void NetworkPoller::StartTimer2() {
    const Connection connection = TestConnection();
    if (connection.failure) {
        // A reset connection, dropped: the next tick reconnects.
        FailedAndEnded(*connection.failure);
        return;
    }
    if (connection.connected) {
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
    const Connection connection = TestConnection();
    if (connection.failure) {
        FailedAndEnded(*connection.failure);
        return;
    }
    if (!connection.connected) {
        WorkEnded();
        return;
    }
    const std::optional<std::string> terminal = selectedTab_ ? selectedTab_() : std::nullopt;
    if (!terminal) {
        FailedAndEnded({}); // no terminal tab
        return;
    }
    if (client_.HasUnread()) {
        // Bytes nobody asked for: whatever the next request reads could be theirs.
        client_.Discard();
        FailedAndEnded({});
        return;
    }
    switch (CheckPollName(*terminal)) {
    case PollName::Smuggles: // a line end in the name would put further requests on the wire
        FailedAndEnded({});
        return;
    case PollName::ZeroLookalike: {
        // The server would take it as a zero request; it knows no terminal of this name.
        PollReading reading = PollReading::Message(kMessageNoSuchTerminal);
        Succeeded(reading);
        Emit(std::move(reading));
        WorkEnded();
        return;
    }
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
}

void NetworkPoller::PollEnded(const ExchangeOutcome& outcome, std::uint64_t tab,
                              std::uint64_t era) {
    work_ = Work::None;
    // Work of replaced settings shows and reports nothing, and a reply for the old tab is not
    // shown; either is still read to its end.
    const bool current = era == era_;
    PollReading reading;
    std::optional<PollFailure> failure;
    if (outcome.error)
        failure = PollFailure{outcome.error->Message()};
    else if (client_.HasUnread())
        failure = PollFailure{}; // a reply of more than two lines
    else if (current && tab == tab_ && !Show(outcome.reply, reading))
        failure = PollFailure{};
    // Once the request has gone out, what the server still sends for it would be read as the
    // reply to the next one: the connection goes, and the next tick starts in step.
    if (failure && outcome.requestSent)
        client_.Discard();
    if (current && failure) {
        Failed(*failure, std::move(reading));
    } else if (current && tab == tab_) {
        Succeeded(reading);
        Emit(std::move(reading));
    }
    WorkEnded();
}

void NetworkPoller::Succeeded(PollReading& reading) {
    polledSinceTimer3_ = true;
    reading.fresh = true;
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

bool NetworkPoller::Show(const PollReply& reply, PollReading& reading) {
    const std::optional<std::int32_t> status = ParseDecimalInt32(reply.statusLine);
    if (!status)
        return false;
    const std::optional<TColor> colour =
        TryTextToColor(*status == kStatusStable ? settings_.color2 : settings_.color1);
    if (!colour)
        return false;
    reading.digits = colour;

    // A weight line has no thousands separator, so either mark is the decimal one, whatever
    // the user's own.
    const char separator = reply.weightLine.find(',') != std::string::npos ? ',' : '.';
    const std::optional<long double> weight = ParseFloat(reply.weightLine, separator);
    if (!weight)
        return false;
    last_ = {*weight, *status};
    if (*weight > kWeightFloor) {
        // Shown exactly as received.
        reading.face = PollReading::Face::Indicator;
        reading.weightText = reply.weightLine;
    } else if (const char* message = CodeMessage(*weight)) {
        reading.face = PollReading::Face::Message;
        reading.messageText = message;
    }
    return true;
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
        Emit(PollReading::Message(kMessageServerNotFound));
    DropIfDead();
    // A reset connection is dropped by the test, and reconnected below.
    if (TestConnection().connected) {
        WorkEnded();
        return;
    }
    work_ = Work::Connect;
    client_.Connect([this, era = era_](const LineResult& result) { ConnectEnded(result, era); });
}

void NetworkPoller::ConnectEnded(const LineResult& result, std::uint64_t era) {
    work_ = Work::None;
    if (result.error && era == era_) {
        PollReading reading = PollReading::Message(kMessageServerNotFound);
        reading.failure = result.error->Message();
        Emit(std::move(reading));
    }
    WorkEnded();
}

void NetworkPoller::WorkEnded() {
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
