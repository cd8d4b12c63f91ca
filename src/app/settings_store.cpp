#include "app/settings_store.h"

#include <optional>

#include "common/number_text.h"
#include "common/text_encoding.h"
#include "settings/file_system.h"
#include "settings/ini_file.h"
#include "settings/port_setting_keys.h"
#include "settings/settings_dir.h"

namespace vesmera {

namespace {

struct Key {
    const char* section;
    const char* name;
};

constexpr const char* kPortSection = "Настройки порта";
constexpr const char* kCommonSection = "Общие";

constexpr Key kPort{kPortSection, kKeyPort};
constexpr Key kBaudRate{kPortSection, kKeyBaudRate};
constexpr Key kChannel{kPortSection, kKeyChannel};
constexpr Key kDelay{kCommonSection, kKeyDelay};
constexpr Key kSkin{kCommonSection, "Скин"};
constexpr Key kColor1{kCommonSection, "Цвет1"};
constexpr Key kColor2{kCommonSection, "Цвет2"};
constexpr Key kBackground{kCommonSection, "Фон"};
constexpr Key kIp{kCommonSection, "IP"};
constexpr Key kServerPort{kCommonSection, "Port"};
constexpr Key kNetworkMode{kCommonSection, "Сетевой режим"};
constexpr Key kProtocol{kCommonSection, kKeyProtocol};

// The program reads values into a buffer of 2048 16-bit characters, the last for the
// terminating zero. A character outside the 16-bit range takes two and is not split.
constexpr std::size_t kMaxValueUnits = 2047;

std::string CutValue(std::string value) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < value.size();) {
        const std::size_t start = pos;
        units += NextCodePoint(value, pos) >= 0x10000 ? 2 : 1;
        if (units > kMaxValueUnits) {
            value.resize(start);
            break;
        }
    }
    return value;
}

std::optional<std::string> ReadValue(const IniFile& ini, const Key& key) {
    auto value = ini.ReadString(key.section, key.name);
    if (value)
        return CutValue(std::move(*value));
    return std::nullopt;
}

// The default only when the file, the section or the key is missing; an empty value stays.
std::string ReadText(const IniFile& ini, const Key& key, const std::string& fallback) {
    return ReadValue(ini, key).value_or(fallback);
}

std::int32_t ReadInteger(const IniFile& ini, const Key& key, std::int32_t fallback) {
    const auto value = ReadValue(ini, key);
    if (!value)
        return fallback;
    return ParseInt32(*value).value_or(fallback);
}

bool ReadBoolean(const IniFile& ini, const Key& key, bool fallback) {
    return ReadInteger(ini, key, fallback ? 1 : 0) != 0;
}

ProfileEntry Entry(const Key& key, std::string_view value) {
    return {key.section, key.name, value};
}

} // namespace

SettingsStore::SettingsStore(std::function<std::string()> directory, IFileSystem& fs)
    : directory_(std::move(directory)), fs_(&fs) {}

SettingsStore::SettingsStore()
    : SettingsStore([] { return SettingsDirectory(); }, SettingsFileSystem()) {}

std::string SettingsStore::SettingsPath() const {
    return directory_() + "Vesmera.ini";
}

std::string SettingsStore::TerminalListPath() const {
    return directory_() + "ZidOzod.ini";
}

HeldSettings SettingsStore::Load() {
    const HeldSettings defaults;
    const IniFile ini(SettingsPath(), *fs_);
    HeldSettings s;
    s.port = ReadText(ini, kPort, defaults.port);
    s.baudRate = ReadInteger(ini, kBaudRate, defaults.baudRate);
    // Held in 16 bits: the conversion takes the value modulo 65536 (-1 is 65535).
    s.delayMs = static_cast<std::uint16_t>(ReadInteger(ini, kDelay, defaults.delayMs));
    s.channel = ReadInteger(ini, kChannel, defaults.channel);
    s.skin = ReadText(ini, kSkin, defaults.skin);
    s.color1 = ReadText(ini, kColor1, defaults.color1);
    s.color2 = ReadText(ini, kColor2, defaults.color2);
    s.background = ReadText(ini, kBackground, defaults.background);
    s.ip = ReadText(ini, kIp, defaults.ip);
    s.serverPort = ReadInteger(ini, kServerPort, defaults.serverPort);
    s.networkMode = ReadBoolean(ini, kNetworkMode, defaults.networkMode);
    s.protocol = ReadText(ini, kProtocol, defaults.protocol);
    return s;
}

void SettingsStore::SaveAll(const SettingsTexts& texts) {
    IniFile ini(SettingsPath(), *fs_);
    // One replacement with all twelve keys, in the order (and so the places) the keys take
    // when written one by one.
    ini.WriteStrings(
        {Entry(kPort, texts.port), Entry(kBaudRate, texts.baudRate), Entry(kChannel, texts.channel),
         Entry(kDelay, texts.delay), Entry(kSkin, texts.skin), Entry(kColor1, texts.color1),
         Entry(kColor2, texts.color2), Entry(kBackground, texts.background), Entry(kIp, texts.ip),
         Entry(kServerPort, texts.serverPort), Entry(kNetworkMode, texts.networkMode ? "1" : "0"),
         Entry(kProtocol, texts.protocol)});
}

void SettingsStore::SaveSkin(const std::string& skin) {
    IniFile ini(SettingsPath(), *fs_);
    ini.WriteStrings({Entry(kSkin, skin)});
}

} // namespace vesmera
