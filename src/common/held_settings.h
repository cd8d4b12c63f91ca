#pragma once

#include <cstdint>
#include <string>

namespace vesmera {

// The twelve settings as the apply step holds them after reading Vesmera.ini. One instance is
// owned by the main window's module; everything else reads it and never writes it.
// Texts are UTF-8.
struct HeldSettings {
    std::string port = "Com1";           // "Настройки порта" / "Порт"
    std::int32_t baudRate = 19200;       // "Настройки порта" / "Скорость обмена"
    std::uint16_t delayMs = 100;         // "Общие" / "Задержка(мск)", taken modulo 65536
    std::int32_t channel = 1;            // "Настройки порта" / "Канал" (terminal address)
    std::string skin = "Cold";           // "Общие" / "Скин"
    std::string color1 = "clRed";        // "Общие" / "Цвет1": unstable digits, LCD text
    std::string color2 = "clGreen";      // "Общие" / "Цвет2": stable digits
    std::string background = "clBlack";  // "Общие" / "Фон"
    std::string ip;                      // "Общие" / "IP"
    std::int32_t serverPort = 0;         // "Общие" / "Port"; its low 16 bits are the TCP port
    bool networkMode = false;            // "Общие" / "Сетевой режим"
    std::string protocol = "Ворлен";     // "Общие" / "Протокол": "Ворлен" or "6.43"

    std::uint16_t TcpPort() const { return static_cast<std::uint16_t>(serverPort); }
};

inline constexpr const char* kProtocolVorlen = "Ворлен";
inline constexpr const char* kProtocol643 = "6.43";
inline constexpr const char* kSkinNone = "Нет";

} // namespace vesmera
