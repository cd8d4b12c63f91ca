#include "app/app_icon.h"

#include <QFont>
#include <QPainter>

namespace vesmera {

QPixmap VesmeraIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // The frame lies wholly inside the square, so no size clips its outer half.
    const qreal pen = size / 16.0 + 0.5;
    p.setPen(QPen(QColor(128, 0, 0), pen));
    p.setBrush(QColor(16, 16, 16));
    p.drawRoundedRect(QRectF(pen / 2, pen / 2, size - pen, size - pen), size / 6.0, size / 6.0);
    QFont font("DejaVu Sans Mono");
    font.setBold(true);
    font.setPixelSize(size * 3 / 4);
    p.setFont(font);
    p.setPen(QColor(0, 200, 0));
    p.drawText(pixmap.rect(), Qt::AlignCenter, "V");
    return pixmap;
}

QIcon VesmeraIcon() {
    QIcon icon;
    for (int size : kIconSizes)
        icon.addPixmap(VesmeraIconPixmap(size));
    return icon;
}

} // namespace vesmera
