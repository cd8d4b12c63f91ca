#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/main_window_views.h"
#include "common/color.h"

namespace vesmera {

// The colours a skin gives the program's windows and controls.
struct SkinPalette {
    TColor window;
    TColor windowText;
    TColor button;
    TColor buttonText;
    TColor base; // edit fields and lists
    TColor text;
    TColor highlight;
    TColor highlightedText;

    bool operator==(const SkinPalette&) const = default;
};

// The names of the 78 built-in skins, in the settings dialog's order. The skin manager knows
// each under its name followed by " (internal)".
std::span<const std::string_view> BuiltInSkinNames();

// The palette of the built-in skin known under `internalName` ("Cold (internal)"), or none
// for a name the skin manager does not know. Skins of one family share a palette.
std::optional<SkinPalette> PaletteForSkin(std::string_view internalName);

// Repaints the program in a named built-in skin while it is active. The windows are repainted
// by the handler given at construction: it gets the palette to apply, or none to go back to
// the unskinned look (skinning off, or a name that is not a built-in skin).
class SkinManager final : public ISkinSwitch {
public:
    using RepaintHandler = std::function<void(const std::optional<SkinPalette>&)>;
    explicit SkinManager(RepaintHandler repaint = {}) : repaint_(std::move(repaint)) {}

    void SetSkinName(const std::string& name) override;
    void SetActive(bool active) override;

    const std::string& SkinName() const { return name_; }
    bool Active() const { return active_; }
    // The palette now in force, none while unskinned.
    std::optional<SkinPalette> CurrentPalette() const;

private:
    void Repaint();

    RepaintHandler repaint_;
    std::string name_;
    bool active_ = false;
    std::optional<SkinPalette> shown_; // none: the unskinned look the program starts with
};

} // namespace vesmera
