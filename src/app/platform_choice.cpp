#include "app/platform_choice.h"

#include <cstdlib>
#include <cstring>

#include <QLocale>

namespace vesmera {

void PreferX11Platform(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return;
        }
    }
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    if ((chosen == nullptr || *chosen == '\0') && display != nullptr && *display != '\0') {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80) {
        return static_cast<char>(point[0].unicode());
    }
    return '.';
}

} // namespace vesmera
