#include "app/skin_manager.h"

#include <algorithm>
#include <array>

#include "app/skin_names.h"

namespace vesmera {

namespace {

constexpr std::string_view kInternalSuffix = " (internal)";

// The settings dialog's list without its first entry, "Нет".
const std::span<const std::string_view> kSkinNames = std::span(kSkinEntries).subspan(1);

enum class Family { Neutral, Dark, Cold, Warm, Green };

struct FamilyMember {
    std::string_view skin;
    Family family;
};

// Skins not listed here are of the neutral grey family.
constexpr std::array<FamilyMember, 38> kFamilies{{
    {"Afterburner", Family::Dark},
    {"DarkGlass", Family::Dark},
    {"Deep", Family::Dark},
    {"DeepPurple", Family::Dark},
    {"FalloutStyle", Family::Dark},
    {"HeroesStyle", Family::Dark},
    {"Moonlight", Family::Dark},
    {"NeonNight", Family::Dark},
    {"Office2007 Black", Family::Dark},
    {"Smoky", Family::Dark},
    {"Steam", Family::Dark},
    {"Terminal4bit", Family::Dark},
    {"TV-b", Family::Dark},
    {"UnderWater", Family::Dark},
    {"Air", Family::Cold},
    {"BlueGauze", Family::Cold},
    {"BlueGlass", Family::Cold},
    {"BlueIce", Family::Cold},
    {"BluePlastic", Family::Cold},
    {"Cold", Family::Cold},
    {"Office2007 Blue", Family::Cold},
    {"Office2010 Blue", Family::Cold},
    {"Sapphire", Family::Cold},
    {"SoapSky - Blue", Family::Cold},
    {"Vista", Family::Cold},
    {"Winter2003", Family::Cold},
    {"Winter2011", Family::Cold},
    {"XPLuna", Family::Cold},
    {"Cappuccino", Family::Warm},
    {"Desert", Family::Warm},
    {"Garnet", Family::Warm},
    {"Golden", Family::Warm},
    {"KaraKum", Family::Warm},
    {"Sand", Family::Warm},
    {"Wood", Family::Warm},
    {"Lucky", Family::Green},
    {"SoapSky - Lime", Family::Green},
    {"TheFrog", Family::Green},
}};

SkinPalette FamilyPalette(Family family) {
    switch (family) {
    case Family::Dark:
        return {RGB(45, 45, 48), RGB(230, 230, 230), RGB(62, 62, 66),  RGB(230, 230, 230),
                RGB(30, 30, 30), RGB(230, 230, 230), RGB(0, 122, 204), RGB(255, 255, 255)};
    case Family::Cold:
        return {RGB(214, 228, 242), RGB(20, 30, 60), RGB(196, 216, 238), RGB(20, 30, 60),
                RGB(245, 250, 255), RGB(20, 30, 60), RGB(51, 102, 204),  RGB(255, 255, 255)};
    case Family::Warm:
        return {RGB(236, 222, 196), RGB(60, 40, 20), RGB(222, 204, 170), RGB(60, 40, 20),
                RGB(252, 246, 234), RGB(60, 40, 20), RGB(168, 104, 40),  RGB(255, 255, 255)};
    case Family::Green:
        return {RGB(218, 236, 210), RGB(24, 52, 20), RGB(200, 226, 188), RGB(24, 52, 20),
                RGB(246, 252, 242), RGB(24, 52, 20), RGB(70, 140, 50),   RGB(255, 255, 255)};
    case Family::Neutral:
        break;
    }
    return {RGB(224, 224, 224), RGB(0, 0, 0), RGB(212, 212, 212), RGB(0, 0, 0),
            RGB(255, 255, 255), RGB(0, 0, 0), RGB(96, 96, 96),    RGB(255, 255, 255)};
}

} // namespace

std::span<const std::string_view> BuiltInSkinNames() {
    return kSkinNames;
}

std::optional<SkinPalette> PaletteForSkin(std::string_view internalName) {
    if (!internalName.ends_with(kInternalSuffix)) {
        return std::nullopt;
    }
    const std::string_view skin =
        internalName.substr(0, internalName.size() - kInternalSuffix.size());
    if (std::find(kSkinNames.begin(), kSkinNames.end(), skin) == kSkinNames.end()) {
        return std::nullopt;
    }
    const auto* member = std::find_if(kFamilies.begin(), kFamilies.end(),
                                      [&](const FamilyMember& m) { return m.skin == skin; });
    return FamilyPalette(member == kFamilies.end() ? Family::Neutral : member->family);
}

void SkinManager::SetSkinName(const std::string& name) {
    name_ = name;
    Repaint();
}

void SkinManager::SetActive(bool active) {
    active_ = active;
    Repaint();
}

std::optional<SkinPalette> SkinManager::CurrentPalette() const {
    return active_ ? PaletteForSkin(name_) : std::nullopt;
}

void SkinManager::Repaint() {
    std::optional<SkinPalette> wanted = CurrentPalette();
    // Every apply step sets the skin again; repaint only when the look really changes.
    if (wanted == shown_) {
        return;
    }
    shown_ = wanted;
    if (repaint_) {
        repaint_(shown_);
    }
}

} // namespace vesmera
