#include <gtest/gtest.h>

#include "common/text_encoding.h"

using namespace vesmera;

namespace {

struct DecodeRow {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    std::string text;
};

class DecodeRows : public testing::TestWithParam<DecodeRow> {};

TEST_P(DecodeRows, MarkOrContentChoosesTheEncoding) {
    TextEncoding found = TextEncoding::Utf8NoMark;
    EXPECT_EQ(DecodeText(GetParam().bytes, found), GetParam().text);
    EXPECT_EQ(found, GetParam().encoding);
}

// "Весы" is C2 E5 F1 FB in Windows-1251, D092 D0B5 D181 D18B in UTF-8.
INSTANTIATE_TEST_SUITE_P(
    Files, DecodeRows,
    testing::Values(DecodeRow{"plain_ascii", "Com1", TextEncoding::Utf8NoMark, "Com1"},
                    DecodeRow{"empty", "", TextEncoding::Utf8NoMark, ""},
                    DecodeRow{"utf8_cyrillic", "\xD0\x92\xD0\xB5\xD1\x81\xD1\x8B",
                              TextEncoding::Utf8NoMark, "Весы"},
                    DecodeRow{"utf8_mark", "\xEF\xBB\xBF\xD0\x92x", TextEncoding::Utf8Bom, "Вx"},
                    DecodeRow{"utf16le", std::string("\xFF\xFE\x12\x04\x31\x00", 6),
                              TextEncoding::Utf16LE, "В1"},
                    DecodeRow{"utf16be", std::string("\xFE\xFF\x04\x12\x00\x31", 6),
                              TextEncoding::Utf16BE, "В1"},
                    DecodeRow{"cp1251", "\xC2\xE5\xF1\xFB 1", TextEncoding::Windows1251, "Весы 1"},
                    DecodeRow{"cp1251_yo_and_no", "\xA8\xB8\xB9", TextEncoding::Windows1251, "Ёё№"},
                    // An overlong form and a stray continuation byte are not UTF-8.
                    DecodeRow{"overlong_is_not_utf8", "\xC0\xAF", TextEncoding::Windows1251, "АЇ"},
                    DecodeRow{"stray_continuation", "a\x80", TextEncoding::Windows1251, "aЂ"},
                    DecodeRow{"surrogate_pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6),
                              TextEncoding::Utf16LE, "\xF0\x9F\x98\x80"},
                    DecodeRow{"lone_surrogate", std::string("\xFF\xFE\x3D\xD8\x41\x00", 6),
                              TextEncoding::Utf16LE,
                              "\xEF\xBF\xBD"
                              "A"},
                    DecodeRow{"odd_last_byte", std::string("\xFF\xFE\x41\x00\x42", 5),
                              TextEncoding::Utf16LE, "A\xEF\xBF\xBD"},
                    DecodeRow{"nul_kept_for_the_reader", std::string("\xFF\xFE\x41\x00\x00\x00", 6),
                              TextEncoding::Utf16LE, std::string("A\0", 2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Windows1251, EveryByteSurvivesADecodeAndEncode) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    TextEncoding found;
    const std::string text = DecodeText(all, found);
    ASSERT_EQ(found, TextEncoding::Windows1251);
    EXPECT_EQ(EncodeText(text, TextEncoding::Windows1251), all);
}

TEST(Windows1251, TableSpotChecks) {
    TextEncoding found;
    // One byte from each irregular stretch of the code page.
    EXPECT_EQ(DecodeText("\x80\x88\x8A\x96\xA5\xB4\xBF\xC0\xDF\xE0\xFF", found), "Ђ€Љ–Ґґї"
                                                                                 "АЯая");
    EXPECT_EQ(EncodeText("Ђ€Љ–Ґґї"
                         "АЯая",
                         TextEncoding::Windows1251),
              "\x80\x88\x8A\x96\xA5\xB4\xBF\xC0\xDF\xE0\xFF");
}

TEST(Windows1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(EncodeText("a\xE4\xB8\xAD"
                         "b\xF0\x9F\x98\x80",
                         TextEncoding::Windows1251),
              "a?b?");
}

TEST(EncodeText, MarksAndByteOrder) {
    EXPECT_EQ(EncodeText("В1", TextEncoding::Utf8NoMark), "\xD0\x92"
                                                          "1");
    EXPECT_EQ(EncodeText("В1", TextEncoding::Utf8Bom), "\xEF\xBB\xBF\xD0\x92"
                                                       "1");
    EXPECT_EQ(EncodeText("В1", TextEncoding::Utf16LE), std::string("\xFF\xFE\x12\x04\x31\x00", 6));
    EXPECT_EQ(EncodeText("В1", TextEncoding::Utf16BE), std::string("\xFE\xFF\x04\x12\x00\x31", 6));
    EXPECT_EQ(EncodeText("\xF0\x9F\x98\x80", TextEncoding::Utf16BE),
              std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6));
    // Text that is not UTF-8 is never passed on as such.
    EXPECT_EQ(EncodeText("a\xFF", TextEncoding::Utf8NoMark), "a\xEF\xBF\xBD");
}

TEST(EncodeText, EveryEncodingReadsBackTheSameText) {
    const std::string text = "Весы 1\r\nЁлка №2\r\n";
    for (auto e : {TextEncoding::Utf8NoMark, TextEncoding::Utf8Bom, TextEncoding::Utf16LE,
                   TextEncoding::Utf16BE, TextEncoding::Windows1251}) {
        TextEncoding found;
        EXPECT_EQ(DecodeText(EncodeText(text, e), found), text) << static_cast<int>(e);
        EXPECT_EQ(found, e);
    }
}

} // namespace
