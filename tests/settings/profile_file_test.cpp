#include <gtest/gtest.h>

#include "settings/profile_file.h"

using namespace vesmera;

namespace {

struct ReadRow {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::optional<std::string> value;
};

class ProfileReadRows : public testing::TestWithParam<ReadRow> {};

TEST_P(ProfileReadRows, FindsTheValueAsTheWindowsFunctionsDo) {
    const auto& row = GetParam();
    EXPECT_EQ(ProfileFile::FromBytes(row.file).ReadString(row.section, row.key), row.value);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileReadRows,
    testing::Values(
        ReadRow{"plain", "[Общие]\r\nIP=10.0.0.1\r\n", "Общие", "IP", "10.0.0.1"},
        ReadRow{"section_case_cyrillic", "[ОБЩИЕ]\r\nIP=a\r\n", "общие", "IP", "a"},
        ReadRow{"key_case_cyrillic", "[s]\r\nСЕТЕВОЙ РЕЖИМ=1\r\n", "S", "Сетевой режим", "1"},
        ReadRow{"key_case_yo", "[s]\r\nЁЛКА=1\r\n", "s", "ёлка", "1"},
        ReadRow{"key_case_latin", "[s]\r\npORT=7\r\n", "s", "Port", "7"},
        ReadRow{"blanks_around_names_and_value", "  [ s ]  \r\n\t key \t=  v a  \r\n", "s", "key",
                "v a"},
        ReadRow{"double_quotes_dropped", "[s]\r\nk=\" x \"\r\n", "s", "k", " x "},
        ReadRow{"single_quotes_dropped", "[s]\r\nk='x'\r\n", "s", "k", "x"},
        ReadRow{"only_one_pair_dropped", "[s]\r\nk=\"\"x\"\"\r\n", "s", "k", "\"x\""},
        ReadRow{"unmatched_quotes_kept", "[s]\r\nk=\"x'\r\n", "s", "k", "\"x'"},
        ReadRow{"lone_quote_kept", "[s]\r\nk=\"\r\n", "s", "k", "\""},
        ReadRow{"value_after_first_equals", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
        ReadRow{"empty_value_is_not_missing", "[s]\r\nk=\r\n", "s", "k", ""},
        ReadRow{"missing_key", "[s]\r\nk=1\r\n", "s", "other", std::nullopt},
        ReadRow{"missing_section", "[s]\r\nk=1\r\n", "t", "k", std::nullopt},
        ReadRow{"key_in_another_section", "[t]\r\nk=1\r\n[s]\r\n", "s", "k", std::nullopt},
        ReadRow{"key_before_any_section", "k=1\r\n[s]\r\n", "s", "k", std::nullopt},
        ReadRow{"first_occurrence_wins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        ReadRow{"repeated_section_searched_in_order", "[s]\r\na=1\r\n[t]\r\nk=9\r\n[S]\r\nk=2\r\n",
                "s", "k", "2"},
        ReadRow{"line_without_equals_is_no_key", "[s]\r\nk\r\nk=3\r\n", "s", "k", "3"},
        ReadRow{"cr_only_line_ends", "[s]\rk=1\rm=2", "s", "m", "2"},
        ReadRow{"lf_only_line_ends", "[s]\nk=1\nm=2\n", "s", "k", "1"},
        ReadRow{"last_line_without_end", "[s]\r\nk=1", "s", "k", "1"},
        ReadRow{"nul_ends_the_value", std::string("[s]\r\nk=ab\0cd\r\nm=2\r\n", 19), "s", "k",
                "ab"},
        ReadRow{"nul_elsewhere_harmless", std::string("\0\0\r\n[s]\r\nm=2\r\n", 14), "s", "m", "2"},
        ReadRow{"header_without_bracket_is_no_header", "[s\r\nk=1\r\n", "s", "k", std::nullopt},
        ReadRow{"utf16_file", std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\x12\x04", 18), "s", "k",
                "В"},
        ReadRow{"cp1251_file", "[\xCE\xE1\xF9\xE8\xE5]\r\nIP=\xC2\r\n", "Общие", "IP", "В"},
        // The encoding is decided per line: one Latin-1 byte in a comment hides nothing.
        ReadRow{"stray_byte_in_a_utf8_file", "; caf\xE9\r\n[Общие]\r\nIP=x\r\n", "Общие", "IP",
                "x"},
        ReadRow{"cp1251_line_in_a_utf8_file", "[Общие]\r\n\xD1\xEA\xE8\xED=\xCD\xE5\xF2\r\n",
                "Общие", "Скин", "Нет"}),
    [](const auto& info) { return std::string(info.param.name); });

struct WriteRow {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

class ProfileWriteRows : public testing::TestWithParam<WriteRow> {};

TEST_P(ProfileWriteRows, ChangesOneLineAndKeepsTheRest) {
    const auto& row = GetParam();
    ProfileFile file = ProfileFile::FromBytes(row.before);
    file.WriteString(row.section, row.key, row.value);
    EXPECT_EQ(file.ToBytes(), row.after);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileWriteRows,
    testing::Values(
        WriteRow{"new_file", "", "Общие", "IP", "", "[Общие]\r\nIP=\r\n"},
        WriteRow{"replace_in_place", "; note\r\n[s]\r\n a = old ; x\r\nb=2\r\n", "S", "A", "new",
                 "; note\r\n[s]\r\n a=new\r\nb=2\r\n"},
        WriteRow{"replace_first_of_two", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "9",
                 "[s]\r\nk=9\r\nk=2\r\n"},
        WriteRow{"append_at_end_of_section", "[s]\r\na=1\r\n\r\n[t]\r\nb=2\r\n", "s", "k", "v",
                 "[s]\r\na=1\r\nk=v\r\n\r\n[t]\r\nb=2\r\n"},
        WriteRow{"append_after_header_only", "[s]\r\n\r\n[t]\r\n", "s", "k", "v",
                 "[s]\r\nk=v\r\n\r\n[t]\r\n"},
        WriteRow{"append_to_last_line_without_end", "[s]\r\na=1", "s", "k", "v",
                 "[s]\r\na=1\r\nk=v\r\n"},
        WriteRow{"append_section_after_unended_line", "x", "s", "k", "v", "x\r\n[s]\r\nk=v\r\n"},
        WriteRow{"append_section_at_end", "[t]\r\nb=2\r\n", "s", "k", "v",
                 "[t]\r\nb=2\r\n[s]\r\nk=v\r\n"},
        WriteRow{"lf_file_gets_lf_lines", "[t]\nb=2\n", "s", "k", "v", "[t]\nb=2\n[s]\nk=v\n"},
        WriteRow{"cr_file_gets_cr_lines", "[s]\ra=1\r", "s", "k", "v", "[s]\ra=1\rk=v\r"},
        WriteRow{"mixed_ends_kept", "[s]\na=1\r\nb=2\r", "s", "b", "3", "[s]\na=1\r\nb=3\r"},
        WriteRow{"line_break_in_value_cannot_add_lines", "", "s", "k", "a\r\n[x]\r\ny=1",
                 "[s]\r\nk=a\r\n"},
        WriteRow{"cp1251_file_stays_cp1251", "[\xCE\xE1\xF9\xE8\xE5]\r\n", "Общие", "Скин", "Нет",
                 "[\xCE\xE1\xF9\xE8\xE5]\r\n\xD1\xEA\xE8\xED=\xCD\xE5\xF2\r\n"},
        // Unchanged lines keep their bytes; changed and new lines take the encoding the
        // non-ASCII lines agree on, UTF-8 when they differ.
        WriteRow{"mixed_file_new_line_in_utf8", "; caf\xE9\r\n[Общие]\r\nIP=1\r\n", "Общие", "Скин",
                 "Нет", "; caf\xE9\r\n[Общие]\r\nIP=1\r\nСкин=Нет\r\n"},
        WriteRow{"mixed_file_changed_cp1251_line_in_utf8",
                 "[Общие]\r\n\xD1\xEA\xE8\xED = Cold\r\n; \xE9\r\n", "Общие", "Скин", "Нет",
                 "[Общие]\r\nСкин=Нет\r\n; \xE9\r\n"},
        WriteRow{"cp1251_file_changed_line_in_cp1251", "[\xCE\xE1\xF9\xE8\xE5]\r\nIP=\xC2\r\n",
                 "Общие", "IP", "Б", "[\xCE\xE1\xF9\xE8\xE5]\r\nIP=\xC1\r\n"},
        WriteRow{"utf8_mark_kept", "\xEF\xBB\xBF[s]\r\n", "s", "k", "1",
                 "\xEF\xBB\xBF[s]\r\nk=1\r\n"},
        WriteRow{"same_value_keeps_its_line", "[s]\r\n k = 'v' \r\n", "s", "K", "v",
                 "[s]\r\n k = 'v' \r\n"},
        // Under a UTF-8 mark a Windows-1251 line stays as it was; the mark decides only
        // changed and new lines.
        WriteRow{"utf8_mark_keeps_cp1251_lines", "\xEF\xBB\xBF[Общие]\r\nIP=\xC2\r\n; \xC2\r\n",
                 "Общие", "Скин", "Нет",
                 "\xEF\xBB\xBF[Общие]\r\nIP=\xC2\r\n; \xC2\r\nСкин=Нет\r\n"},
        WriteRow{"utf8_mark_changed_cp1251_line_in_utf8", "\xEF\xBB\xBF[Общие]\r\nIP=\xC2\r\n",
                 "Общие", "IP", "Б", "\xEF\xBB\xBF[Общие]\r\nIP=Б\r\n"},
        WriteRow{"utf16le_kept", std::string("\xFF\xFE[\0s\0]\0\r\0\n\0", 12), "s", "k", "1",
                 std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0"
                             "1\0\r\0\n\0",
                             22)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileFile, BinaryBytesSurviveAWriteElsewhere) {
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 131 + 7) % 256);
    ProfileFile file = ProfileFile::FromBytes(binary);
    EXPECT_EQ(file.Encoding(), TextEncoding::Windows1251);
    EXPECT_EQ(file.ToBytes(), binary);
    file.WriteString("Общие", "Скин", "Cold");
    const std::string out = file.ToBytes();
    ASSERT_GE(out.size(), binary.size());
    EXPECT_EQ(out.substr(0, binary.size()), binary);
    EXPECT_EQ(ProfileFile::FromBytes(out).ReadString("Общие", "Скин"), "Cold");
}

TEST(ProfileFile, TenMegabytesOfLinesAreReadAndWritten) {
    std::string big;
    big.reserve(10 << 20);
    while (big.size() < (10u << 20))
        big += "[x]\r\nk=1\r\n\n\r";
    big += "[Общие]\r\nIP=host\r\n";
    ProfileFile file = ProfileFile::FromBytes(big);
    EXPECT_EQ(file.ReadString("общие", "ip"), "host");
    file.WriteString("Общие", "IP", "other");
    EXPECT_EQ(file.ToBytes().size(), big.size() + 1);
}

} // namespace
