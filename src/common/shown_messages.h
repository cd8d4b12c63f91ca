#pragma once

#include <string>

#include "common/views.h"

namespace vesmera {

// The messages the polls show on the message screen in place of the weight, each written once
// for the serial and the network road.
inline constexpr const char* kMessageLinkLost = "С терминалом нет связи"; // also the server's -5001
inline constexpr const char* kMessagePortFailed = "Ошибка открытия Com-порта";
inline constexpr const char* kMessageOverload = "Перегруз";
inline constexpr const char* kMessageNoSuchTerminal = "Teрминал не найден"; // Latin "Te"
inline constexpr const char* kMessageServerPortError = "Ошибка открытия Com-порта на сервере";
inline constexpr const char* kMessageServerNotFound = "Сервер не найден";

// The indicator comes back in place of the message screen.
inline void ShowIndicator(IIndicatorView& indicator, IMessageView& message) {
    message.SetVisible(false);
    indicator.SetVisible(true);
}

} // namespace vesmera
