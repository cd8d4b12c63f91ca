#include <gtest/gtest.h>

#include "common/blanks.h"
#include "common/letter_case.h"

namespace vesmera {
namespace {

struct CaseRow {
    const char* a;
    const char* b;
    bool equal;
};

class LetterCase : public testing::TestWithParam<CaseRow> {};

TEST_P(LetterCase, MatchesLettersOfEitherCase) {
    EXPECT_EQ(EqualNoCase(GetParam().a, GetParam().b), GetParam().equal);
    EXPECT_EQ(EqualNoCase(GetParam().b, GetParam().a), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LetterCase,
    testing::Values(CaseRow{"COM3", "Com3", true}, CaseRow{"clRed", "CLRED", true},
                    CaseRow{"AUTOMATION", "Automation", true}, CaseRow{"ворлен", "Ворлен", true},
                    CaseRow{"ВОРЛЕН", "ворлен", true}, CaseRow{"Ёлка", "ёлка", true},
                    CaseRow{"НАСТРОЙКИ ПОРТА", "настройки порта", true},
                    CaseRow{"ЇЄІЎЂ", "їєіўђ", true}, CaseRow{"ҐҚӘ", "ґқә", true},
                    CaseRow{"ÀÉÞ", "àéþ", true}, CaseRow{"ΑΩ", "αω", true},
                    CaseRow{"\xff\xfe", "\xff\xfe", true}, CaseRow{"", "", true},
                    CaseRow{"Ворлен", "Ворлен ", false}, CaseRow{"Com3", "Com33", false},
                    CaseRow{"Порт", "Порты", false}, CaseRow{"6.43", "6,43", false},
                    CaseRow{"Е", "Ё", false},
                    // '[' + 0x20 is '{' and '×' + 0x20 is '÷': only letters fold.
                    CaseRow{"[", "{", false}, CaseRow{"×", "÷", false},
                    // No letter beyond ASCII folds onto an ASCII one.
                    CaseRow{"clRеd", "clRed", false}, CaseRow{"", "a", false}));

TEST(Blanks, SpacesAndTabsAroundAreTrimmedLineEndsAreNot) {
    EXPECT_EQ(TrimBlanks(" \t a b \t "), "a b");
    EXPECT_EQ(TrimBlanks(" \t "), "");
    EXPECT_EQ(TrimBlanks("\r1\n"), "\r1\n");
    EXPECT_EQ(TrimBlanks("\v1\f"), "\v1\f");
}

} // namespace
} // namespace vesmera
