#pragma once

#include <span>

namespace vesmera {

// The About window's picture as the JPEG kept in the executable: 457 by 393 pixels with the
// program's name, version and contact line.
std::span<const unsigned char> AboutPictureJpeg();

inline constexpr int kAboutPictureWidth = 457;
inline constexpr int kAboutPictureHeight = 393;

} // namespace vesmera
