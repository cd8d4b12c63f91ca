#include "server/server_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>

#include "common/blanks.h"
#include "common/held_settings.h"
#include "common/letter_case.h"
#include "common/number_text.h"
#include "common/text_encoding.h"
#include "common/zero_request.h"
#include "link/comport_name.h"
#include "server/secret_file.h"
#include "settings/file_system.h"
#include "settings/port_setting_keys.h"
#include "settings/profile_file.h"

namespace vesmera {

namespace {

constexpr const char* kListen = "Listen";
constexpr const char* kAllow = "Allow";
constexpr const char* kMaxClients = "MaxClients";
constexpr const char* kMaxClientsPerAddress = "MaxClientsPerAddress";
constexpr const char* kDecimalSeparator = "DecimalSeparator";
constexpr const char* kToken = "Token";
constexpr const char* kTokenFile = "TokenFile";
constexpr const char* kAllowOrigin = "AllowOrigin";
constexpr const char* kCertificate = "Certificate";
constexpr const char* kKey = "Key";
constexpr const char* kMaxConnections = "MaxConnections";
constexpr const char* kMaxStreams = "MaxStreams";
constexpr const char* kHttpPrefix = "[HTTP] ";
constexpr const char* kBroker = "Broker";
constexpr const char* kClientId = "ClientId";
constexpr const char* kTopic = "Topic";
constexpr const char* kUsername = "Username";
constexpr const char* kPasswordFile = "PasswordFile";
constexpr const char* kCAFile = "CAFile";
constexpr const char* kQoS = "QoS";
constexpr const char* kHeartbeat = "Heartbeat";
constexpr const char* kCommands = "Commands";
constexpr const char* kMqttPrefix = "[MQTT] ";

constexpr std::initializer_list<const char*> kTerminalKeys = {kKeyPort, kKeyBaudRate, kKeyChannel,
                                                              kKeyDelay, kKeyProtocol};

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::vector<std::string_view> SplitList(std::string_view text) {
    std::vector<std::string_view> items;
    while (true) {
        const auto comma = text.find(',');
        items.push_back(TrimBlanks(text.substr(0, comma)));
        if (comma == std::string_view::npos)
            return items;
        text.remove_prefix(comma + 1);
    }
}

// The speeds the display offers for a port.
constexpr std::int32_t kSpeeds[] = {9600, 14400, 19200, 38400, 57600};

// A bearer token travels in a header: visible ASCII, no blanks.
bool IsTokenText(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
}

// "http://host[:port]" or "https://...", exactly as a browser sends it in Origin: no path, no
// blanks; or "*" for any origin.
bool IsOriginText(std::string_view text) {
    if (text == "*")
        return true;
    for (std::string_view scheme : {"http://", "https://"})
        if (text.starts_with(scheme)) {
            const std::string_view rest = text.substr(scheme.size());
            return !rest.empty() && std::all_of(rest.begin(), rest.end(), [](char c) {
                return static_cast<unsigned char>(c) > 0x20 &&
                       static_cast<unsigned char>(c) < 0x7F && c != '/' && c != ',';
            });
        }
    return false;
}

// "host:port", "[v6]:port" or a host alone (the default port then). Nothing when it does not
// parse.
std::optional<std::pair<std::string, std::uint16_t>> ParseBroker(std::string_view text,
                                                                 std::uint16_t defaultPort) {
    std::string_view host = text, port;
    bool portGiven = false;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close == 1)
            return std::nullopt;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return std::nullopt;
        portGiven = !rest.empty();
        if (portGiven)
            port = rest.substr(1);
        if (host.find(':') == std::string_view::npos)
            return std::nullopt;
    } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        portGiven = true;
        if (host.find(':') != std::string_view::npos) // an IPv6 literal needs its brackets
            return std::nullopt;
    }
    const bool hostOk = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F &&
               c != '/' && c != '[' && c != ']';
    });
    if (!hostOk)
        return std::nullopt;
    if (!portGiven)
        return std::pair{std::string(host), defaultPort};
    const auto number = ParseInt32(port);
    if (!number || *number < 1 || *number > 65535 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::pair{std::string(host), static_cast<std::uint16_t>(*number)};
}

// Why a topic prefix cannot be published under, or nothing when it can: wildcards and NUL
// have a meaning of their own, '$' begins the broker's own topics, and a trailing '/' would
// make an empty level before every topic.
std::optional<std::string> TopicPrefixFault(std::string_view topic) {
    if (topic.empty())
        return "must not be empty";
    if (topic.find_first_of(std::string_view("+#\0", 3)) != std::string_view::npos)
        return "must not hold '+', '#' or NUL";
    if (topic.starts_with('$'))
        return "must not begin with '$'";
    if (topic.ends_with('/'))
        return "must not end with '/'";
    if (!IsValidUtf8(topic))
        return "must be UTF-8 text";
    return std::nullopt;
}

// One device, by whatever name: "Com1", "COM1" and "/dev/ttyS0" are the same port, and so are
// a symbolic link (a /dev/serial/by-id name) and the device it leads to. A device that exists
// is known by its device number (a file by its inode); one that does not, by its path.
std::string DeviceOf(const std::string& port) {
    const std::string path = ComPortDevicePath(port).value_or(port);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
            return "device " + std::to_string(st.st_rdev);
        return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }
    return "path " + std::filesystem::path(path).lexically_normal().string();
}

class Checker {
public:
    Checker(const ProfileFile& file, IFileSystem& fs, std::string baseDir)
        : file_(file), fs_(fs), baseDir_(std::move(baseDir)) {}

    ServerConfigCheck Run() {
        ReadServer();
        std::vector<std::string> seen, reserved;
        for (const auto& name : file_.SectionNames()) {
            // The same name twice, in any case, is one section to the profile rules, which
            // would quietly merge what were meant as two.
            if (IsReservedSection(name)) {
                if (std::none_of(reserved.begin(), reserved.end(),
                                 [&](const auto& r) { return EqualNoCase(r, name); })) {
                    reserved.push_back(name);
                    ReadReserved(name);
                } else {
                    Problem("section " + Quoted(name) + " is given twice");
                }
                continue;
            }
            const auto same = std::find_if(seen.begin(), seen.end(),
                                           [&](const auto& s) { return EqualNoCase(s, name); });
            if (same != seen.end()) {
                // Two spellings would also be two terminals that no request could tell apart
                // in the file.
                Problem(*same == name ? "section " + Quoted(name) + " is given twice"
                                      : "sections " + Quoted(*same) + " and " + Quoted(name) +
                                            " differ only in letter case");
                continue;
            }
            seen.push_back(name);
            ReadTerminal(name);
        }
        if (seen.empty())
            result_.warnings.push_back("no terminal section: the server has nothing to serve");
        return std::move(result_);
    }

private:
    void Problem(std::string text) { result_.problems.push_back(std::move(text)); }

    // Keys in neither list are warned about; those in `refused` have a problem of their own.
    void WarnUnknownKeys(const std::string& section, std::initializer_list<const char*> known,
                         std::initializer_list<const char*> refused = {}) {
        const auto in = [](std::initializer_list<const char*> keys, const std::string& key) {
            return std::any_of(keys.begin(), keys.end(),
                               [&](const char* k) { return EqualNoCase(key, k); });
        };
        for (const auto& key : file_.KeyNames(section))
            if (!in(known, key) && !in(refused, key))
                result_.warnings.push_back("unknown key " + Quoted(key) + " in section " +
                                           Quoted(section) + " ignored");
    }

    void ReadServer() {
        ServerConfig& c = result_.config;
        const std::string listen =
            file_.ReadString(kServerSection, kListen).value_or(kDefaultListen);
        for (auto item : SplitList(listen)) {
            if (auto address = ParseListenAddress(item))
                c.listen.push_back(*address);
            else
                Problem("Listen: cannot parse the address " + Quoted(item));
        }
        const std::string allow = file_.ReadString(kServerSection, kAllow).value_or("");
        if (!TrimBlanks(allow).empty())
            for (auto item : SplitList(allow)) {
                if (auto range = AddressRange::Parse(item))
                    c.allow.push_back(*range);
                else
                    Problem("Allow: cannot parse the address or range " + Quoted(item));
            }
        c.maxClients = ReadNumber(
                           kServerSection, kMaxClients, [](std::int32_t v) { return v >= 1; },
                           std::string(kMaxClients) + ":", "a positive whole number")
                           .value_or(c.maxClients);
        c.maxClientsPerAddress =
            ReadNumber(
                kServerSection, kMaxClientsPerAddress, [](std::int32_t v) { return v >= 0; },
                std::string(kMaxClientsPerAddress) + ":", "a whole number, 0 for no limit")
                .value_or(c.maxClientsPerAddress);
        if (c.allow.empty())
            for (const ListenAddress& address : c.listen)
                if (std::all_of(address.bytes.begin(), address.bytes.end(),
                                [](std::uint8_t b) { return b == 0; }))
                    result_.warnings.push_back(
                        "Listen: " + std::string(address.family == AF_INET6 ? "[::]" : "0.0.0.0") +
                        ":" + std::to_string(address.port) +
                        " takes clients from every address, and no Allow= limits them");
        if (auto separator = file_.ReadString(kServerSection, kDecimalSeparator)) {
            if (separator->size() == 1)
                c.decimalSeparator = separator->front();
            else
                Problem("DecimalSeparator: must be one character, not " + Quoted(*separator));
        }
    }

    // A reserved section that holds a terminal's keys was meant as a terminal: refused, since
    // the server would read it as its own settings.
    void ReadReserved(const std::string& name) {
        const auto keys = file_.KeyNames(name);
        if (std::any_of(keys.begin(), keys.end(), [](const std::string& key) {
                return std::any_of(kTerminalKeys.begin(), kTerminalKeys.end(),
                                   [&](const char* k) { return EqualNoCase(key, k); });
            }))
            Problem("section " + Quoted(name) +
                    " is reserved for the server's settings and cannot name a terminal");
        if (EqualNoCase(name, kServerSection)) {
            WarnUnknownKeys(
                name, {kListen, kAllow, kMaxClients, kMaxClientsPerAddress, kDecimalSeparator},
                kTerminalKeys);
        } else if (EqualNoCase(name, kHttpSection)) {
            ReadHttp(name);
            WarnUnknownKeys(name,
                            {kListen, kToken, kTokenFile, kAllowOrigin, kCertificate, kKey,
                             kMaxConnections, kMaxStreams},
                            kTerminalKeys);
        } else if (EqualNoCase(name, kMqttSection)) {
            ReadMqtt(name);
            WarnUnknownKeys(name,
                            {kBroker, kClientId, kTopic, kUsername, kPasswordFile, kCAFile,
                             kCertificate, kKey, kQoS, kHeartbeat, kCommands},
                            kTerminalKeys);
        } else {
            WarnUnknownKeys(name, {}, kTerminalKeys);
        }
    }

    void HttpProblem(const std::string& text) { Problem(kHttpPrefix + text); }

    // A number key: nothing when it is missing; otherwise it must convert and pass `valid`,
    // or "<subject> must be <rule>, not "<text>"" is a problem. The profile rules would
    // quietly put the default in place of a text that is no number, and the port settings
    // take a delay modulo 65536.
    template <typename Valid>
    std::optional<std::int32_t> ReadNumber(const std::string& section, const char* key, Valid valid,
                                           const std::string& subject, const char* rule) {
        const auto text = file_.ReadString(section, key);
        if (!text)
            return std::nullopt;
        const auto value = ParseInt32(*text);
        if (value && valid(*value))
            return value;
        Problem(subject + " must be " + rule + ", not " + Quoted(*text));
        return std::nullopt;
    }

    // The file's text, or nothing with a problem naming the key, the path and the reason.
    std::optional<std::string> ReadNamedFile(const char* key, const std::string& path,
                                             const char* prefix = kHttpPrefix) {
        const std::string full = FullPath(path);
        try {
            return fs_.ReadFile(full);
        } catch (const FileError& e) {
            Problem(prefix + std::string(key) + ": cannot read " + full + ": " + e.Message());
            return std::nullopt;
        }
    }
    std::string FullPath(const std::string& path) const {
        return path.starts_with('/') ? path : baseDir_ + path;
    }

    void MqttProblem(const std::string& text) { Problem(kMqttPrefix + text); }

    // A secret named by file: the path it is read from and its text, or nothing with a problem.
    std::optional<std::pair<std::string, std::string>>
    ReadSecret(const char* key, const std::string& name, SecretForm form,
               const char* prefix = kMqttPrefix) {
        try {
            const std::string path = SecretFilePath(name, baseDir_, CredentialsDirectory());
            return std::pair{path, ReadSecretFile(path, form)};
        } catch (const Exception& e) {
            Problem(prefix + std::string(key) + ": " + e.Message());
            return std::nullopt;
        }
    }

    void ReadMqtt(const std::string& section) {
        const std::string broker = file_.ReadString(section, kBroker).value_or("");
        if (TrimBlanks(broker).empty())
            return; // off
        MqttConfig m;
        const std::string ca = file_.ReadString(section, kCAFile).value_or("");
        const std::string certificate = file_.ReadString(section, kCertificate).value_or("");
        const std::string key = file_.ReadString(section, kKey).value_or("");
        m.tls = !ca.empty() || !certificate.empty() || !key.empty();
        if (auto parsed =
                ParseBroker(TrimBlanks(broker), m.tls ? kDefaultMqttTlsPort : kDefaultMqttPort)) {
            m.host = parsed->first;
            m.port = parsed->second;
        } else {
            MqttProblem("Broker: cannot parse the address " + Quoted(broker));
        }

        m.topic = file_.ReadString(section, kTopic).value_or("");
        if (m.topic.empty())
            m.topic = "vesmera/" + HostName();
        if (const auto fault = TopicPrefixFault(m.topic))
            MqttProblem("Topic: " + *fault);
        m.clientId = file_.ReadString(section, kClientId).value_or("");
        if (m.clientId.empty())
            m.clientId = "vesmera-server@" + HostName() + ":" + m.topic;
        if (!IsValidUtf8(m.clientId) || m.clientId.size() > 65535)
            MqttProblem("ClientId: must be UTF-8 text of at most 65535 bytes");

        m.username = file_.ReadString(section, kUsername).value_or("");
        const std::string passwordFile = file_.ReadString(section, kPasswordFile).value_or("");
        if (!passwordFile.empty()) {
            if (m.username.empty())
                MqttProblem("PasswordFile: a password needs a Username");
            else if (auto secret = ReadSecret(kPasswordFile, passwordFile, SecretForm::kLine))
                m.password = std::move(secret->second);
        }

        if (certificate.empty() != key.empty()) {
            MqttProblem("Certificate and Key: give both or neither");
        } else if (!certificate.empty()) {
            m.certificateFile = FullPath(certificate);
            ReadNamedFile(kCertificate, certificate, kMqttPrefix);
            if (auto secret = ReadSecret(kKey, key, SecretForm::kWhole))
                m.keyFile = std::move(secret->first);
        }
        if (!ca.empty()) {
            m.caFile = FullPath(ca);
            ReadNamedFile(kCAFile, ca, kMqttPrefix);
        }

        const auto zeroOrOne = [](std::int32_t v) { return v == 0 || v == 1; };
        const auto subject = [](const char* key) { return kMqttPrefix + std::string(key) + ":"; };
        m.qos = ReadNumber(section, kQoS, zeroOrOne, subject(kQoS), "0 or 1").value_or(m.qos);
        m.heartbeatS = ReadNumber(
                           section, kHeartbeat, [](std::int32_t v) { return v >= 1; },
                           subject(kHeartbeat), "a whole number of seconds from 1")
                           .value_or(m.heartbeatS);
        m.commands =
            ReadNumber(section, kCommands, zeroOrOne, subject(kCommands), "0 or 1").value_or(0) ==
            1;
        result_.config.mqtt = std::move(m);
    }

    void ReadHttp(const std::string& section) {
        HttpConfig h;
        const std::string listen = file_.ReadString(section, kListen).value_or(kDefaultHttpListen);
        for (auto item : SplitList(listen)) {
            if (auto address = ParseListenAddress(item))
                h.listen.push_back(*address);
            else
                HttpProblem("Listen: cannot parse the address " + Quoted(item));
        }

        const auto token = file_.ReadString(section, kToken);
        const auto tokenFile = file_.ReadString(section, kTokenFile);
        if (token && tokenFile) {
            HttpProblem("Token and TokenFile: give one of them, not both");
        } else if (token && !token->empty()) {
            if (IsTokenText(*token))
                h.token = *token;
            else
                HttpProblem("Token: only visible ASCII characters, without blanks");
        } else if (tokenFile) {
            // A token is a secret: kept from other users, or given as a systemd credential.
            if (const auto secret =
                    ReadSecret(kTokenFile, *tokenFile, SecretForm::kLine, kHttpPrefix)) {
                if (IsTokenText(secret->second))
                    h.token = secret->second;
                else
                    HttpProblem("TokenFile: " + *tokenFile +
                                " holds no token (visible ASCII characters, without blanks)");
            }
        }

        const std::string origins = file_.ReadString(section, kAllowOrigin).value_or("");
        if (!TrimBlanks(origins).empty())
            for (auto item : SplitList(origins)) {
                if (IsOriginText(item))
                    h.allowOrigins.emplace_back(item);
                else
                    HttpProblem("AllowOrigin: cannot parse the origin " + Quoted(item));
            }

        const std::string certificate = file_.ReadString(section, kCertificate).value_or("");
        const std::string key = file_.ReadString(section, kKey).value_or("");
        if (certificate.empty() != key.empty()) {
            HttpProblem("Certificate and Key: give both or neither");
        } else if (!certificate.empty()) {
            h.certificateFile = certificate;
            h.keyFile = key;
            const auto pem = [&](const char* name, const std::string& path,
                                 std::optional<std::string> text) {
                if (text && text->find("-----BEGIN ") == std::string::npos)
                    HttpProblem(std::string(name) + ": " + path + " holds no PEM data");
                return text.value_or("");
            };
            h.certificatePem =
                pem(kCertificate, FullPath(certificate), ReadNamedFile(kCertificate, certificate));
            if (auto secret = ReadSecret(kKey, key, SecretForm::kWhole, kHttpPrefix))
                h.keyPem = pem(kKey, secret->first, std::move(secret->second));
        }

        const auto positive = [](std::int32_t v) { return v >= 1; };
        h.maxConnections =
            ReadNumber(section, kMaxConnections, positive,
                       kHttpPrefix + std::string(kMaxConnections) + ":", "a positive whole number")
                .value_or(h.maxConnections);
        h.maxStreams =
            ReadNumber(section, kMaxStreams, positive, kHttpPrefix + std::string(kMaxStreams) + ":",
                       "a positive whole number")
                .value_or(h.maxStreams);
        result_.config.http = std::move(h);
    }

    void ReadTerminal(const std::string& name) {
        TerminalConfig t;
        t.name = name;
        // The subject of a problem with a key of this section.
        const auto about = [&](const char* key) {
            return "terminal " + Quoted(name) + ": " + Quoted(key);
        };
        // No default port: "Com1" is often the machine's serial console.
        const auto port = file_.ReadString(name, kKeyPort);
        t.port = port.value_or("");
        if (!port)
            Problem(about(kKeyPort) + " is missing");
        else if (port->empty())
            Problem(about(kKeyPort) + " is empty");
        const auto offered = [](std::int32_t v) {
            return std::find(std::begin(kSpeeds), std::end(kSpeeds), v) != std::end(kSpeeds);
        };
        t.baudRate = ReadNumber(name, kKeyBaudRate, offered, about(kKeyBaudRate),
                                "one of 9600, 14400, 19200, 38400, 57600")
                         .value_or(t.baudRate);
        t.channel = ReadNumber(
                        name, kKeyChannel, [](std::int32_t v) { return v >= 0 && v <= 255; },
                        about(kKeyChannel), "from 0 to 255")
                        .value_or(t.channel);
        t.delayMs = static_cast<std::uint16_t>(
            ReadNumber(
                name, kKeyDelay, [](std::int32_t v) { return v >= 0 && v <= 65535; },
                about(kKeyDelay), "from 0 to 65535")
                .value_or(t.delayMs));
        t.protocol = file_.ReadString(name, kKeyProtocol).value_or(t.protocol);
        WarnUnknownKeys(name, kTerminalKeys);

        if (IsZeroRequest(name))
            Problem("terminal " + Quoted(name) + ": a name may not begin with " +
                    Quoted(kZeroRequestPrefix) + " (it would read as a zero request)");
        if (t.protocol != kProtocolVorlen && t.protocol != kProtocol643)
            Problem("terminal " + Quoted(name) + ": unknown protocol " + Quoted(t.protocol));
        for (const auto& other : result_.config.terminals)
            if (!t.port.empty() && !other.port.empty() && DeviceOf(other.port) == DeviceOf(t.port))
                Problem("terminals " + Quoted(other.name) + " and " + Quoted(name) +
                        " use the same port " + Quoted(t.port));
        result_.config.terminals.push_back(std::move(t));
    }

    const ProfileFile& file_;
    IFileSystem& fs_;
    std::string baseDir_;
    ServerConfigCheck result_;
};

} // namespace

std::string MqttConfig::Endpoint() const {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

bool IsReservedSection(std::string_view name) {
    return EqualNoCase(name, kServerSection) || EqualNoCase(name, kHttpSection) ||
           EqualNoCase(name, kMqttSection);
}

ServerConfigCheck CheckServerConfig(const ProfileFile& file, IFileSystem& fs,
                                    const std::string& baseDir) {
    return Checker(file, fs, baseDir).Run();
}

ServerConfigCheck CheckServerConfigFile(const std::string& path, IFileSystem& fs) {
    try {
        const auto slash = path.rfind('/');
        const std::string baseDir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        return CheckServerConfig(ProfileFile::FromBytes(fs.ReadFile(path)), fs, baseDir);
    } catch (const FileError& e) {
        ServerConfigCheck failed;
        failed.problems.push_back("cannot read " + path + ": " + e.Message());
        return failed;
    }
}

} // namespace vesmera
