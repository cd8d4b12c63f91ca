#pragma once

#include <string>

#include "common/held_settings.h"
#include "common/views.h"
#include "link/poll_display.h"

namespace vesmera {

inline constexpr const char* kMessageLinkLost = "С терминалом нет связи";
inline constexpr const char* kMessagePortFailed = "Ошибка открытия Com-порта";
inline constexpr const char* kMessageOverload = "Перегруз";

// The message screen takes the indicator's place and shows the text.
inline void ShowLinkMessage(IIndicatorView& indicator, IMessageView& message,
                            const std::string& text) {
    indicator.SetVisible(false);
    message.SetVisible(true);
    message.SetText(text);
}

// The indicator comes back in place of the message screen.
inline void ShowIndicator(IIndicatorView& indicator, IMessageView& message) {
    message.SetVisible(false);
    indicator.SetVisible(true);
}

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
        ShowLinkMessage(indicator_, message_, text);
    }
    void ShowWeight(long double weight) override;

private:
    const HeldSettings& settings_;
    IIndicatorView& indicator_;
    IMessageView& message_;
    char decimalSeparator_;
};

} // namespace vesmera
