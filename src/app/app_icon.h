#pragma once

#include <QIcon>

namespace vesmera {

// The program's own icon, for the main window and the notification area: a lit weight on a
// dark display.
QIcon VesmeraIcon();

} // namespace vesmera
