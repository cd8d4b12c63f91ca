#pragma once

namespace vesmera {

// Asks Qt for its X11 platform (xcb) when an X display exists and the user chose no platform
// (QT_QPA_PLATFORM, or -platform on the command line): Wayland lets no program place its
// windows, and the main window goes to the top left with the About window beside it.
void PreferX11Platform(int argc, char** argv);

// The regional decimal separator, taken once at start from the system locale (LC_ALL,
// LC_NUMERIC, LANG): a comma for ru_RU, a full stop for C and en_US.
char SystemDecimalSeparator();

} // namespace vesmera
