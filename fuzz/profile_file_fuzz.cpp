// Vesmera.ini from any bytes: every setting reads as well-formed text of at most 2047 16-bit
// units, a value never spans lines, the file's bytes are stable once decoded and re-encoded,
// and a write changes its own key only.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "settings/profile_file.h"
#include "app/settings_store.h"
#include "fuzz_check.h"
#include "memory_file_system.h"

namespace {

using namespace vesmera;
using vesmera::fuzz::IsWellFormedUtf8;
using vesmera::fuzz::Utf16Units;

struct Key {
    const char* section;
    const char* name;
};

constexpr std::array<Key, 12> kKeys{{
    {"Настройки порта", "Порт"},
    {"Настройки порта", "Скорость обмена"},
    {"Настройки порта", "Канал"},
    {"Общие", "Задержка(мск)"},
    {"Общие", "Скин"},
    {"Общие", "Цвет1"},
    {"Общие", "Цвет2"},
    {"Общие", "Фон"},
    {"Общие", "IP"},
    {"Общие", "Port"},
    {"Общие", "Сетевой режим"},
    {"Общие", "Протокол"},
}};

std::array<std::optional<std::string>, 12> ReadAll(const ProfileFile& file) {
    std::array<std::optional<std::string>, 12> values;
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        values[i] = file.ReadString(kKeys[i].section, kKeys[i].name);
    return values;
}

void CheckValue(const std::optional<std::string>& value) {
    if (!value)
        return;
    FUZZ_CHECK(value->find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
               "a value holds no line break and no NUL");
}

void CheckHeldText(const std::string& text) {
    FUZZ_CHECK(Utf16Units(text) <= 2047, "a read setting text has at most 2047 UTF-16 units");
    FUZZ_CHECK(IsWellFormedUtf8(text), "a read setting text is well-formed UTF-8");
}

// A value that reads back exactly: printable ASCII without quotes, no blanks at its ends, and
// a Cyrillic letter so that every encoding has to carry it.
std::string CleanValue(std::string_view bytes) {
    std::string value;
    for (char c : bytes.substr(0, 32))
        if (c > ' ' && c < 0x7F && c != '"' && c != '\'')
            value += c;
    return value + "ё";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = vesmera::fuzz::AsText(data, size);

    // The settings as the apply step loads them.
    vesmera::fuzz::MemoryFileSystem fs;
    fs.files["/v/Vesmera.ini"] = std::string(bytes);
    SettingsStore store([] { return std::string("/v/"); }, fs);
    const HeldSettings held = store.Load();
    for (const std::string* text : {&held.port, &held.skin, &held.color1, &held.color2,
                                    &held.background, &held.ip, &held.protocol})
        CheckHeldText(*text);

    ProfileFile file = ProfileFile::FromBytes(bytes);
    const auto before = ReadAll(file);
    for (const auto& value : before)
        CheckValue(value);

    // Decoded and re-encoded once, the bytes and the encoding stay as they are.
    const std::string once = file.ToBytes();
    const ProfileFile again = ProfileFile::FromBytes(once);
    FUZZ_CHECK(again.Encoding() == file.Encoding(), "re-read finds the encoding written");
    FUZZ_CHECK(again.ToBytes() == once, "decode and re-encode is stable");
    FUZZ_CHECK(ReadAll(again) == before, "re-read values are the values read");

    // A clean value reads back as written; any value, line breaks and NULs included, changes
    // no other key.
    const std::size_t k = size % kKeys.size();
    const std::string clean = CleanValue(bytes);
    ProfileFile written = file;
    written.WriteString(kKeys[k].section, kKeys[k].name, clean);
    auto after = ReadAll(written);
    FUZZ_CHECK(after[k] == clean, "a written value reads back");
    after[k] = before[k];
    FUZZ_CHECK(after == before, "a write changes its own key only");

    const std::size_t r = (size / kKeys.size()) % kKeys.size();
    ProfileFile raw = file;
    raw.WriteString(kKeys[r].section, kKeys[r].name, bytes.substr(0, 64));
    after = ReadAll(raw);
    CheckValue(after[r]);
    after[r] = before[r];
    FUZZ_CHECK(after == before, "a raw write changes its own key only");
    return 0;
}
