#pragma once

#include <QIcon>
#include <QPixmap>

namespace vesmera {

// The sizes the icon is drawn in: the icon theme's usual sizes, which the installed program
// ships as files, so the window, the notification area and the desktop's menu show one picture.
inline constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The program's own icon at one size (square): a lit weight on a dark display.
QPixmap VesmeraIconPixmap(int size);

// The icon at every size, and at every size times the screens' largest pixel ratio, for the
// main window and the notification area.
QIcon VesmeraIcon();

} // namespace vesmera
