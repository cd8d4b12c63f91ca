#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
    std::uint16_t delayMs = 100;     // "Задержка(мск)"
    std::string protocol = "Ворлен"; // "Протокол"

    bool operator==(const TerminalConfig&) const = default;
};

// The HTTP interface, on while the file has an [HTTP] section. Files named by the section are
// read when the configuration is checked, so a start never serves half a configuration.
struct HttpConfig {
    std::vector<ListenAddress> listen;
    std::string token;                     // Token= or the text of TokenFile=; empty: no commands
    std::vector<std::string> allowOrigins; // origins whose pages may read; "*" for any
    std::string certificateFile;           // Certificate=; empty: plain HTTP
    std::string keyFile;                   // Key=
    std::string certificatePem;            // the two files' contents
    std::string keyPem;
    std::int32_t maxConnections = 1024;
    std::int32_t maxStreams = 1024;

    bool Tls() const { return !certificateFile.empty(); }
    bool operator==(const HttpConfig&) const = default;
};

// The MQTT publisher, on while the file has an [MQTT] section with a Broker. The password is
// read when the configuration is checked; the TLS files are given to the library by path, so
// they are checked for being readable here.
struct MqttConfig {
    std::string host;       // Broker=host:port, an IPv6 literal in brackets
    std::uint16_t port = 0; // 1883, or 8883 with TLS, when the Broker names none
    std::string clientId;   // unique per broker
    std::string topic;      // the prefix of every topic, without a trailing '/'
    std::string username;   // empty: none
    std::string password;   // the text of PasswordFile=
    bool tls = false;       // on with any of CAFile, Certificate, Key
    std::string caFile;     // empty: the system's trusted certificates
    std::string certificateFile;
    std::string keyFile;  // the path found for Key= (a secret file)
    std::int32_t qos = 1; // 0 or 1
    std::int32_t heartbeatS = 30;
    bool commands = false; // whether the zero command topics are subscribed

    // "host:port" as the log lines name the broker.
    std::string Endpoint() const;
    bool operator==(const MqttConfig&) const = default;
};

struct ServerConfig {
    std::vector<ListenAddress> listen;
    std::vector<AddressRange> allow; // empty: every client
    std::int32_t maxClients = 1024;
    std::int32_t maxClientsPerAddress = 0; // over the line protocol and HTTP; 0: no limit
    char decimalSeparator = ',';
    std::vector<TerminalConfig> terminals;
    std::optional<HttpConfig> http;
    std::optional<MqttConfig> mqtt;
};

// What reading the file found: the configuration, the problems that refuse it (one message
// each), and warnings about what starts but is likely a mistake: keys that mean nothing here,
// a file without terminals, a listener open to every address with no Allow=. A start and
// --check (and a reload) run the same checks.
struct ServerConfigCheck {
    ServerConfig config;
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
};

inline constexpr const char* kServerSection = "Server";
inline constexpr const char* kHttpSection = "HTTP";
inline constexpr const char* kMqttSection = "MQTT";
inline constexpr const char* kDefaultListen = "127.0.0.1:5000";
inline constexpr const char* kDefaultHttpListen = "127.0.0.1:5080";
inline constexpr std::uint16_t kDefaultMqttPort = 1883;
inline constexpr std::uint16_t kDefaultMqttTlsPort = 8883;

// The machine's host name, which the default topic prefix and client id are made from.
std::string HostName();

// Whether a section name belongs to the server's own settings (in any letter case) and so can
// never name a terminal.
bool IsReservedSection(std::string_view name);

// Files that the configuration names are found from baseDir (the configuration's folder, with
// its trailing '/') when relative. Certificates are read through fs; secrets (a token, a
// password, a key) as secret files: from systemd's credentials directory when there is one,
// and refused when every user may read them.
ServerConfigCheck CheckServerConfig(const ProfileFile& file, IFileSystem& fs,
                                    const std::string& baseDir = "");
// The file at path, read with the profile rules and encodings; a file that cannot be read is
// a problem, not a set of defaults, since a server without its terminals serves nothing.
ServerConfigCheck CheckServerConfigFile(const std::string& path, IFileSystem& fs);

} // namespace vesmera
