#include <gtest/gtest.h>

#include "app/terminal_list.h"
#include "test_files.h"

using namespace vesmera;
using namespace vesmera::testing_files;

namespace {

using Names = std::vector<std::string>;

struct SplitRow {
    const char* name;
    std::string bytes;
    Names names;
};

class TerminalListReadRows : public testing::TestWithParam<SplitRow> {};

TEST_P(TerminalListReadRows, OneNamePerLine) {
    MemoryFileSystem fs;
    fs.files["/d/ZidOzod.ini"] = GetParam().bytes;
    TerminalListFile list(fs);
    Names names{"old"};
    list.Read("/d/ZidOzod.ini", names);
    EXPECT_EQ(names, GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TerminalListReadRows,
    testing::Values(SplitRow{"crlf", "a\r\nb\r\n", {"a", "b"}},
                    SplitRow{"last_line_without_end", "Весы 1\r\nВесы 2", {"Весы 1", "Весы 2"}},
                    SplitRow{"lone_lf_and_cr", "a\nb\rc\r\n", {"a", "b", "c"}},
                    SplitRow{"lf_cr_is_two_ends", "a\n\rb", {"a", "", "b"}},
                    SplitRow{"empty_lines_are_empty_names", "\r\na\r\n\r\n", {"", "a", ""}},
                    SplitRow{"empty_file", "", {}},
                    SplitRow{
                        "nul_ends_the_text", std::string("a\r\nb\0c\r\nd\r\n", 11), {"a", "b"}},
                    SplitRow{"nul_in_utf16",
                             std::string("\xFF\xFE"
                                         "a\0\0\0b\0",
                                         8),
                             {"a"}},
                    SplitRow{"utf8_mark_not_a_name", "\xEF\xBB\xBFx\r\n", {"x"}},
                    SplitRow{"cp1251", "\xC2\xE5\xF1\xFB\r\n", {"Весы"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct EncodingRow {
    const char* name;
    std::string bytes; // the file as another program left it: "Весы 1", "Весы 2" unended
    TextEncoding encoding;
    std::string written; // the list saved back
};

class TerminalListRoundTrip : public testing::TestWithParam<EncodingRow> {};

std::string Utf16(bool bigEndian, std::u16string_view text) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

TEST_P(TerminalListRoundTrip, SavesBackInTheEncodingItFound) {
    TempDir dir;
    const std::string path = dir.File("ZidOzod.ini");
    WriteBytes(path, GetParam().bytes);
    TerminalListFile list;
    Names names;
    list.Read(path, names);
    EXPECT_EQ(names, (Names{"Весы 1", "Весы 2"}));
    EXPECT_EQ(list.Encoding(), GetParam().encoding);
    list.Write(path, names);
    EXPECT_EQ(ReadBytes(path), GetParam().written);
    Names again;
    list.Read(path, again);
    EXPECT_EQ(again, names);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, TerminalListRoundTrip,
    testing::Values(EncodingRow{"utf8_mark", "\xEF\xBB\xBFВесы 1\r\nВесы 2", TextEncoding::Utf8Bom,
                                "\xEF\xBB\xBFВесы 1\r\nВесы 2\r\n"},
                    EncodingRow{"utf8_plain", "Весы 1\nВесы 2", TextEncoding::Utf8NoMark,
                                "Весы 1\r\nВесы 2\r\n"},
                    EncodingRow{"utf16le", Utf16(false, u"Весы 1\r\nВесы 2"), TextEncoding::Utf16LE,
                                Utf16(false, u"Весы 1\r\nВесы 2\r\n")},
                    EncodingRow{"utf16be", Utf16(true, u"Весы 1\rВесы 2"), TextEncoding::Utf16BE,
                                Utf16(true, u"Весы 1\r\nВесы 2\r\n")},
                    EncodingRow{"cp1251", "\xC2\xE5\xF1\xFB 1\r\n\xC2\xE5\xF1\xFB 2",
                                TextEncoding::Windows1251,
                                "\xC2\xE5\xF1\xFB 1\r\n\xC2\xE5\xF1\xFB 2\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalList, NeverReadWritesUtf8WithoutAMark) {
    MemoryFileSystem fs;
    TerminalListFile list(fs);
    list.Write("/d/ZidOzod.ini", {"Весы", ""});
    EXPECT_EQ(fs.files["/d/ZidOzod.ini"], "Весы\r\n\r\n");
    list.Write("/d/ZidOzod.ini", {});
    EXPECT_EQ(fs.files["/d/ZidOzod.ini"], "");
}

TEST(TerminalList, AFailedReadKeepsTheListAndTheEncoding) {
    MemoryFileSystem fs;
    fs.files["/d/a.ini"] = "\xFF\xFE"
                           "a\0";
    TerminalListFile list(fs);
    Names names;
    list.Read("/d/a.ini", names);
    ASSERT_EQ(list.Encoding(), TextEncoding::Utf16LE);
    names = {"kept"};
    try {
        list.Read("/d/missing.ini", names);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"/d/missing.ini\". " + SystemReason(ENOENT));
    }
    EXPECT_EQ(names, Names{"kept"});
    EXPECT_EQ(list.Encoding(), TextEncoding::Utf16LE);
    list.Write("/d/b.ini", names);
    EXPECT_EQ(fs.files["/d/b.ini"], std::string("\xFF\xFEk\0e\0p\0t\0\r\0\n\0", 14));
}

TEST(TerminalList, AWriteNobodyCanDoNamesThePathAndTheReason) {
    TempDir dir;
    WriteBytes(dir.File("plain"), "x");
    const std::string path = dir.File("plain") + "/ZidOzod.ini";
    TerminalListFile list;
    try {
        list.Write(path, {"Весы 1"});
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + path + "\". " + SystemReason(ENOTDIR));
    }
}

TEST(TerminalList, ARefusedReplacementKeepsTheOldFile) {
    MemoryFileSystem fs;
    fs.files["/d/z.ini"] = "old\r\n";
    fs.failAt = 1;
    TerminalListFile list(fs);
    EXPECT_THROW(list.Write("/d/z.ini", {"new"}), Exception);
    EXPECT_EQ(fs.files["/d/z.ini"], "old\r\n");
}

} // namespace
