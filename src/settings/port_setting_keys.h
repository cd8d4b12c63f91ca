#pragma once

namespace vesmera {

// The key names of a terminal's port settings in Vesmera.ini. vesmera-server.ini names each
// terminal's settings with the same keys, so an administrator can copy them across.
inline constexpr const char* kKeyPort = "Порт";
inline constexpr const char* kKeyBaudRate = "Скорость обмена";
inline constexpr const char* kKeyChannel = "Канал";
inline constexpr const char* kKeyDelay = "Задержка(мск)";
inline constexpr const char* kKeyProtocol = "Протокол";

} // namespace vesmera
