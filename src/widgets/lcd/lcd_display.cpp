#include "widgets/lcd/lcd_display.h"

#include <algorithm>

#include "widgets/lcd/lcd_types.h"

namespace vesmera {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct Tag {
    std::u16string_view text;
    std::uint8_t bit;
    bool on;
};

constexpr std::array<Tag, 12> kTags{{
    {u"<u>", kAttrUnderline, true},
    {u"</u>", kAttrUnderline, false},
    {u"<s>", kAttrStrike, true},
    {u"</s>", kAttrStrike, false},
    {u"<b>", kAttrBold, true},
    {u"</b>", kAttrBold, false},
    {u"<i>", kAttrItalic, true},
    {u"</i>", kAttrItalic, false},
    {u"<bl>", kAttrBlink, true},
    {u"</bl>", kAttrBlink, false},
    {u"<inv>", kAttrInverse, true},
    {u"</inv>", kAttrInverse, false},
}};

// Length in bytes of the sequence a lead byte announces, 0 for a byte that cannot lead.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

} // namespace

void Display::Clear() {
    std::fill(FCells.begin(), FCells.end(), Cell{});
    FLineCount = 0;
}

std::u16string DecodeUtf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = SequenceLength(lead);
        if (length == 1) {
            out.push_back(lead);
            ++i;
            continue;
        }
        char32_t cp = length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = length != 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            valid = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed.
        if (valid && ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                      (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
            valid = false;
        if (!valid) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        out.push_back(cp > 0xFFFF ? kReplacement : static_cast<char16_t>(cp));
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string EncodeUtf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            // Lone surrogates cannot be written as UTF-8.
            const char16_t v = (c >= 0xD800 && c <= 0xDFFF) ? kReplacement : c;
            out.push_back(static_cast<char>(0xE0 | (v >> 12)));
            out.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
        }
    }
    return out;
}

void ParseLines(const std::vector<std::string>& lines, Display& display) {
    display.Clear();
    std::uint8_t attr = 0;
    const int count = static_cast<int>(std::min<std::size_t>(lines.size(), Display::kRows));
    display.SetLineCount(count);
    for (int r = 0; r < count; ++r) {
        const std::u16string text = DecodeUtf8ToUtf16(lines[static_cast<std::size_t>(r)]);
        const std::u16string_view rest(text);
        int c = 1;
        for (std::size_t i = 0; i < rest.size() && rest[i] != 0;) {
            if (rest[i] == u'<') {
                const auto tag = std::find_if(kTags.begin(), kTags.end(), [&](const Tag& t) {
                    return rest.substr(i).starts_with(t.text);
                });
                if (tag != kTags.end()) {
                    attr =
                        static_cast<std::uint8_t>(tag->on ? (attr | tag->bit) : (attr & ~tag->bit));
                    i += tag->text.size();
                    continue;
                }
            }
            // Tags past the last column still switch, so later lines see the right state.
            if (c < Display::kColumns)
                display.At(r, c++) = Display::Cell{rest[i], attr};
            ++i;
        }
    }
}

} // namespace vesmera

namespace vesmera {

GlyphStyle GlyphStyleFor(std::uint8_t attr, TSpecialEffects effects, bool blinkingStatus) {
    GlyphStyle s;
    s.Underline = (attr & kAttrUnderline) && effects.Has(spUnderline);
    s.Strike = (attr & kAttrStrike) && effects.Has(spStrike);
    s.Bold = (attr & kAttrBold) && effects.Has(spBold);
    s.Italic = (attr & kAttrItalic) && effects.Has(spItalic);
    s.Inverse = ((attr & kAttrBlink) && effects.Has(spBlink) && blinkingStatus) ||
                ((attr & kAttrInverse) && effects.Has(spInverse));
    return s;
}

} // namespace vesmera
