#include "widgets/lcd/lcd_font.h"

#include <QFontDatabase>
#include <QHash>

namespace vesmera {

namespace {

constexpr const char* kTahomaFile = "/usr/share/wine/fonts/tahoma.ttf";

// Larger fonts would only make the lines picture huge; nothing useful is drawn above this.
constexpr int kMaxPixelSize = 2048;

} // namespace

bool EnsureTahomaFont() {
    static bool tried = false;
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        return true;
    if (!tried) {
        tried = true;
        QFontDatabase::addApplicationFont(QString::fromLatin1(kTahomaFile));
    }
    return QFontDatabase::hasFamily(QStringLiteral("Tahoma"));
}

QString ResolveFontFamily(const std::string& name) {
    // Looking a family up is slow enough to matter for a render per tick, so answers are kept.
    static QHash<QString, QString> resolved;
    const QString family = QString::fromStdString(name);
    if (const auto it = resolved.constFind(family); it != resolved.constEnd())
        return *it;
    if (family.compare(QStringLiteral("Tahoma"), Qt::CaseInsensitive) == 0)
        EnsureTahomaFont();
    const QString result = QFontDatabase::hasFamily(family)
                               ? family
                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    resolved.insert(family, result);
    return result;
}

QFont MakeQFont(const TLCDFont& font) {
    QFont f(ResolveFontFamily(font.Name));
    const int height = font.Height < 0 ? -font.Height : font.Height;
    f.setPixelSize(std::clamp(height, 1, kMaxPixelSize));
    if (font.Pitch == fpFixed)
        f.setFixedPitch(true);
    int strategy = QFont::NoSubpixelAntialias;
    if (font.Quality == fqAntialiased)
        strategy |= QFont::PreferAntialias;
    else if (font.Quality == fqNonAntialiased)
        strategy |= QFont::NoAntialias;
    f.setStyleStrategy(static_cast<QFont::StyleStrategy>(strategy));
    return f;
}

} // namespace vesmera
