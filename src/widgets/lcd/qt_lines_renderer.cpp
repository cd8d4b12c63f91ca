#include "widgets/lcd/qt_lines_renderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <array>
#include <optional>
#include <vector>

#include "widgets/lcd/lcd_font.h"

namespace vesmera {

namespace {

// A font and its metrics for each combination of the four style bits, made when first used.
class StyledFonts {
public:
    explicit StyledFonts(const QFont& base) : FBase(base) {}

    struct Entry {
        QFont Font;
        QFontMetrics Metrics;
    };

    const Entry& For(const GlyphStyle& s) {
        const int key =
            (s.Underline ? 1 : 0) | (s.Strike ? 2 : 0) | (s.Bold ? 4 : 0) | (s.Italic ? 8 : 0);
        auto& slot = FEntries[static_cast<std::size_t>(key)];
        if (!slot) {
            QFont f = FBase;
            f.setUnderline(s.Underline);
            f.setStrikeOut(s.Strike);
            f.setBold(s.Bold);
            f.setItalic(s.Italic);
            slot.emplace(Entry{f, QFontMetrics(f)});
        }
        return *slot;
    }

private:
    QFont FBase;
    std::array<std::optional<Entry>, 16> FEntries;
};

struct Glyph {
    QChar Char;
    GlyphStyle Style;
    const StyledFonts::Entry* Font;
    int X;
    int Advance;
    int Height;
};

} // namespace

MonoImage ToMonoImage(const QImage& picture) {
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    MonoImage mono(grey.width(), grey.height());
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            if (row[x] < kDarkGreyThreshold)
                mono.SetDark(x, y, true);
    }
    return mono;
}

MonoImage QtLinesRenderer::Render(const Display& display, const TLCDFont& font,
                                  TSpecialEffects effects, bool blinkingStatus) {
    StyledFonts fonts(MakeQFont(font));
    const int emptyHeight = std::min(font.Height < 0 ? -font.Height : font.Height, 2048);
    MonoImage image;
    std::vector<Glyph> glyphs;
    for (int r = 0; r < display.LineCount(); ++r) {
        glyphs.clear();
        int width = 0, height = 0;
        for (int c = 1; c < Display::kColumns && display.At(r, c).Char != 0; ++c) {
            const Display::Cell& cell = display.At(r, c);
            const GlyphStyle style = GlyphStyleFor(cell.Attr, effects, blinkingStatus);
            const auto& entry = fonts.For(style);
            const QChar ch(cell.Char);
            const int advance = std::max(entry.Metrics.horizontalAdvance(ch), 0);
            glyphs.push_back({ch, style, &entry, width, advance, entry.Metrics.height()});
            width += advance;
            height = std::max(height, entry.Metrics.height());
        }
        MonoImage line(0, emptyHeight);
        if (!glyphs.empty() && width > 0 && height > 0) {
            QImage picture(width, height, QImage::Format_RGB32);
            picture.fill(Qt::white);
            QPainter painter(&picture);
            for (const Glyph& g : glyphs) {
                painter.fillRect(g.X, 0, g.Advance, g.Height,
                                 g.Style.Inverse ? Qt::black : Qt::white);
                painter.setPen(g.Style.Inverse ? Qt::white : Qt::black);
                painter.setFont(g.Font->Font);
                painter.drawText(g.X, g.Font->Metrics.ascent(), QString(g.Char));
            }
            painter.end();
            line = ToMonoImage(picture);
        } else if (!glyphs.empty()) {
            line = MonoImage(width, height);
        }
        const int y = image.Height();
        image.GrowTo(line.Width(), y + line.Height());
        image.Draw(line, 0, y, MonoImage::CopyMode::Replace);
    }
    return image;
}

} // namespace vesmera
