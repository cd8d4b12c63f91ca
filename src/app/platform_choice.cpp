#include "app/platform_choice.h"

#include <QLocale>

namespace vesmera {

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80) {
        return static_cast<char>(point[0].unicode());
    }
    return '.';
}

} // namespace vesmera
