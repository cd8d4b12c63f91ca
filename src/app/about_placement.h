#pragma once

namespace vesmera {

struct WindowPosition {
    int left = 0;
    int top = 0;
    bool operator==(const WindowPosition&) const = default;
};

// Where the About window goes each time it is shown: 100 pixels right of the main window's
// left edge, level with its top.
constexpr WindowPosition AboutWindowPosition(WindowPosition mainWindow) {
    return {mainWindow.left + 100, mainWindow.top};
}

} // namespace vesmera
