#include "app/app_icon.h"

#include <QFont>
#include <QGuiApplication>
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
    // On a scaled screen every size is drawn at that screen's pixels too, so the window and the
    // notification area are given a picture of their own pixel size, not one stretched to it.
    const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    QIcon icon;
    for (int size : kIconSizes) {
        icon.addPixmap(VesmeraIconPixmap(size));
        if (const int scaled = qRound(size * ratio); scaled != size)
            icon.addPixmap(VesmeraIconPixmap(scaled));
    }
    return icon;
}

} // namespace vesmera
