#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/net_address.h"

namespace vesmera {

class IFileSystem;
class ProfileFile;

// One terminal of the server: a section of vesmera-server.ini other than [Server], with the
// port settings of Vesmera.ini and their defaults.
struct TerminalConfig {
    std::string name;                // the section's name, as requests must spell it
    std::string port = "Com1";       // "Порт"
    std::int32_t baudRate = 19200;   // "Скорость обмена"
    std::int32_t channel = 1;        // "Канал"
    std::uint16_t delayMs = 100;     // "Задержка(мск)", taken modulo 65536
    std::string protocol = "Ворлен"; // "Протокол"
};

struct ServerConfig {
    std::vector<ListenAddress> listen;
    std::vector<AddressRange> allow; // empty: every client
    std::int32_t maxClients = 1024;
    char decimalSeparator = ',';
    std::vector<TerminalConfig> terminals;
};

// What reading the file found: the configuration, the problems that refuse it (one message
// each), and warnings about keys that mean nothing here.
struct ServerConfigCheck {
    ServerConfig config;
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
};

inline constexpr const char* kServerSection = "Server";
inline constexpr const char* kDefaultListen = "127.0.0.1:5000";

ServerConfigCheck CheckServerConfig(const ProfileFile& file);
// The file at path, read with the profile rules and encodings; a file that cannot be read is
// a problem, not a set of defaults, since a server without its terminals serves nothing.
ServerConfigCheck CheckServerConfigFile(const std::string& path, IFileSystem& fs);

} // namespace vesmera
