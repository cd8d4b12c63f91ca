#pragma once

#include <QFont>
#include <QString>

#include "widgets/lcd/lcd_types.h"

namespace vesmera {

// Makes "Tahoma" available: when the family is missing, the copy from fonts-wine is added to
// the application's fonts. Returns whether the family can now be used. Safe to call often.
bool EnsureTahomaFont();

// The family to draw a font name with: the name itself when the font database knows it (after
// EnsureTahomaFont for "Tahoma"), otherwise the system sans font.
QString ResolveFontFamily(const std::string& name);

// A Qt font for the screen's font: the resolved family at |Height| pixels (never below 1),
// the pitch as a matching hint and the antialiasing quality, without subpixel colours.
QFont MakeQFont(const TLCDFont& font);

} // namespace vesmera
