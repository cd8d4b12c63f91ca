#include "app/app_icon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace vesmera {

QIcon VesmeraIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(128, 0, 0), size / 16.0 + 0.5));
        p.setBrush(QColor(16, 16, 16));
        p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
        QFont font("DejaVu Sans Mono");
        font.setBold(true);
        font.setPixelSize(size * 3 / 4);
        p.setFont(font);
        p.setPen(QColor(0, 200, 0));
        p.drawText(pixmap.rect(), Qt::AlignCenter, "V");
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace vesmera
