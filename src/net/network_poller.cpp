#include "net/network_poller.h"

#include <utility>

#include "common/color.h"
#include "common/exception.h"
#include "common/number_text.h"
#include "net/line_channel_error.h"
#include "net/weight_server.h"

namespace vesmera {

NetworkPoller::NetworkPoller(ILineChannel& client, const HeldSettings& settings,
                             IIndicatorView& indicator, IMessageView& message,
                             SelectedTab selectedTab, char decimalSeparator)
    : client_(client), settings_(settings), indicator_(indicator), message_(message),
      selectedTab_(std::move(selectedTab)), decimalSeparator_(decimalSeparator) {}

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

void NetworkPoller::Timer2Tick() {
    try {
        client_.Connect();
    } catch (const Exception&) {
        // On an open connection this is "Already connected."; otherwise the silent reconnect.
    }
    try {
        if (!ConnectedOrDrop()) {
            return;
        }
        Poll();
        if (failures_)
            failures_->Succeeded();
    } catch (const Exception& e) {
        ReportChannelFailure(e);
        ShowMessage(kMessageServerNotFound);
        DropIfDead();
    }
}

void NetworkPoller::ReportChannelFailure(const Exception& e) {
    // Only the channel's own failures say something a user can act on; a malformed reply or a
    // missing tab is plain from the display.
    if (failures_ && dynamic_cast<const LineChannelError*>(&e))
        failures_->Failed(e.Message());
}

void NetworkPoller::Poll() {
    const std::optional<std::string> terminal = selectedTab_ ? selectedTab_() : std::nullopt;
    if (!terminal) {
        throw Exception("no terminal tab");
    }
    const PollReply reply = PollExchange(client_, *terminal);

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
    DropIfDead();
    bool connected = false;
    try {
        connected = ConnectedOrDrop();
    } catch (const Exception&) {
        // A reset connection, already dropped: reconnect below.
    }
    if (connected) {
        return;
    }
    try {
        client_.Connect();
    } catch (const Exception& e) {
        ReportChannelFailure(e);
        ShowMessage(kMessageServerNotFound);
    }
}

} // namespace vesmera
