#pragma once

#include <string>

class QWidget;

namespace vesmera {

// What assistive technology (a screen reader, an AT-SPI client) reads of the main window: the
// indicator and the message screen are labels named by what they show, and the main window is
// a window whose "ShowMenu" action opens its context menu. Installed once, before the windows
// are made.
void InstallAccessibleRoles();

struct ShownForAssistance {
    std::string weightText; // the indicator's text, "1234,56"
    bool stable = false;
    std::string message; // the message screen's text
};

// Names the indicator by its text with the stability as its description, and the message
// screen by its message while it is shown (no name while hidden); only a change is announced.
void DescribeShown(QWidget& indicator, QWidget& messageScreen, const ShownForAssistance& shown);

} // namespace vesmera
