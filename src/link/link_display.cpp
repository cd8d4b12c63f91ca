#include "link/link_display.h"

#include "common/color.h"
#include "common/number_text.h"

namespace vesmera {

void LinkViews::ShowReadingColour(bool stable) {
    indicator_.SetNumberForeColor(TextToColor(stable ? settings_.color2 : settings_.color1));
}

void LinkViews::ShowLinkLostColour(bool stable) {
    // A colour text that names no colour leaves the digits as they are; the link-lost state
    // must still be entered.
    if (const auto color = TryTextToColor(stable ? settings_.color2 : settings_.color1))
        indicator_.SetNumberForeColor(*color);
}

void LinkViews::ShowWeight(long double weight) {
    indicator_.SetIndicatorString(FormatGeneral(weight, decimalSeparator_));
}

} // namespace vesmera
