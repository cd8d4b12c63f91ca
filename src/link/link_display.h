#pragma once

#include <string>

#include "common/views.h"

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

} // namespace vesmera
