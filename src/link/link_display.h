#pragma once

#include <string>

#include "common/held_settings.h"
#include "common/shown_messages.h"
#include "common/views.h"
#include "link/poll_display.h"

namespace vesmera {

// The serial link's effects on the main window's indicator and message screen. Colours are
// read from the settings at each use.
class LinkViews final : public IPollDisplay {
public:
    LinkViews(const HeldSettings& settings, IIndicatorView& indicator, IMessageView& message,
              char decimalSeparator)
        : settings_(settings), indicator_(indicator), message_(message),
          decimalSeparator_(decimalSeparator) {}

    void ShowReadingColour(bool stable) override;
    void ShowLinkLostColour(bool stable) override;
    void ShowIndicator() override { vesmera::ShowIndicator(indicator_, message_); }
    void ShowMessage(const std::string& text) override {
        ShowMessageScreen(indicator_, message_, text);
    }
    void ShowWeight(long double weight) override;

private:
    const HeldSettings& settings_;
    IIndicatorView& indicator_;
    IMessageView& message_;
    char decimalSeparator_;
};

} // namespace vesmera
