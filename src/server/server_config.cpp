#include "server/server_config.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "common/blanks.h"
#include "common/held_settings.h"
#include "common/letter_case.h"
#include "common/number_text.h"
#include "common/zero_request.h"
#include "link/comport_name.h"
#include "settings/file_system.h"
#include "settings/port_setting_keys.h"
#include "settings/profile_file.h"

namespace vesmera {

namespace {

constexpr const char* kListen = "Listen";
constexpr const char* kAllow = "Allow";
constexpr const char* kMaxClients = "MaxClients";
constexpr const char* kDecimalSeparator = "DecimalSeparator";

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

// Integer keys follow the profile rules: a missing key or a text that is no number gives the
// default.
std::int32_t ReadInteger(const ProfileFile& file, std::string_view section, const char* key,
                         std::int32_t fallback) {
    const auto value = file.ReadString(section, key);
    return value ? ParseInt32(*value).value_or(fallback) : fallback;
}

// Two names of one device: "Com1", "COM1" and "/dev/ttyS0" are the same port.
std::string DeviceOf(const std::string& port) {
    return ComPortDevicePath(port).value_or(port);
}

class Checker {
public:
    explicit Checker(const ProfileFile& file) : file_(file) {}

    ServerConfigCheck Run() {
        ReadServer();
        std::vector<std::string> seen;
        for (const auto& name : file_.SectionNames()) {
            if (EqualNoCase(name, kServerSection))
                continue;
            const auto same = std::find_if(seen.begin(), seen.end(),
                                           [&](const auto& s) { return EqualNoCase(s, name); });
            if (same != seen.end()) {
                // The same name twice is one section to the profile rules; two spellings
                // would be two terminals that no request could tell apart in the file.
                if (*same != name)
                    Problem("sections " + Quoted(*same) + " and " + Quoted(name) +
                            " differ only in letter case");
                continue;
            }
            seen.push_back(name);
            ReadTerminal(name);
        }
        return std::move(result_);
    }

private:
    void Problem(std::string text) { result_.problems.push_back(std::move(text)); }

    void WarnUnknownKeys(const std::string& section, std::initializer_list<const char*> known) {
        for (const auto& key : file_.KeyNames(section))
            if (std::none_of(known.begin(), known.end(),
                             [&](const char* k) { return EqualNoCase(key, k); }))
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
        c.maxClients = ReadInteger(file_, kServerSection, kMaxClients, c.maxClients);
        if (c.maxClients < 1)
            Problem("MaxClients: must be at least 1");
        if (auto separator = file_.ReadString(kServerSection, kDecimalSeparator)) {
            if (separator->size() == 1)
                c.decimalSeparator = separator->front();
            else
                Problem("DecimalSeparator: must be one character, not " + Quoted(*separator));
        }
        for (const auto& name : file_.SectionNames())
            if (EqualNoCase(name, kServerSection)) {
                WarnUnknownKeys(name, {kListen, kAllow, kMaxClients, kDecimalSeparator});
                break;
            }
    }

    void ReadTerminal(const std::string& name) {
        TerminalConfig t;
        t.name = name;
        t.port = file_.ReadString(name, kKeyPort).value_or(t.port);
        t.baudRate = ReadInteger(file_, name, kKeyBaudRate, t.baudRate);
        t.channel = ReadInteger(file_, name, kKeyChannel, t.channel);
        t.delayMs = static_cast<std::uint16_t>(ReadInteger(file_, name, kKeyDelay, t.delayMs));
        t.protocol = file_.ReadString(name, kKeyProtocol).value_or(t.protocol);
        WarnUnknownKeys(name, {kKeyPort, kKeyBaudRate, kKeyChannel, kKeyDelay, kKeyProtocol});

        if (IsZeroRequest(name))
            Problem("terminal " + Quoted(name) + ": a name may not begin with " +
                    Quoted(kZeroRequestPrefix) + " (it would read as a zero request)");
        if (t.protocol != kProtocolVorlen && t.protocol != kProtocol643)
            Problem("terminal " + Quoted(name) + ": unknown protocol " + Quoted(t.protocol));
        for (const auto& other : result_.config.terminals)
            if (DeviceOf(other.port) == DeviceOf(t.port))
                Problem("terminals " + Quoted(other.name) + " and " + Quoted(name) +
                        " use the same port " + Quoted(t.port));
        result_.config.terminals.push_back(std::move(t));
    }

    const ProfileFile& file_;
    ServerConfigCheck result_;
};

} // namespace

ServerConfigCheck CheckServerConfig(const ProfileFile& file) {
    return Checker(file).Run();
}

ServerConfigCheck CheckServerConfigFile(const std::string& path, IFileSystem& fs) {
    try {
        return CheckServerConfig(ProfileFile::FromBytes(fs.ReadFile(path)));
    } catch (const FileError& e) {
        ServerConfigCheck failed;
        failed.problems.push_back("cannot read " + path + ": " + e.Message());
        return failed;
    }
}

} // namespace vesmera
