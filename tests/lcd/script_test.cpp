#include <gtest/gtest.h>

#include "widgets/lcd/lcd_script.h"

namespace vesmera {
namespace {

using Statements = std::vector<ScriptStatement>;

struct ParseCase {
    const char* name;
    std::string line;
    Statements statements;
};

class ScriptParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ScriptParsing, ReadsStatements) {
    EXPECT_EQ(ParseScriptLine(GetParam().line), GetParam().statements);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptParsing,
    ::testing::Values(ParseCase{"Program", "[HorzScroll(-1); ]", {{"horzscroll", -1}}},
                      ParseCase{"Two",
                                "[horzscroll(-1);vertscroll(2);]",
                                {{"horzscroll", -1}, {"vertscroll", 2}}},
                      ParseCase{"BlanksBetween", "[  a(1);   b(2) ;  ]", {{"a", 1}, {"b", 2}}},
                      ParseCase{"NameIsLowerCased", "[SetIntensity(-1);]", {{"setintensity", -1}}},
                      ParseCase{"Empty", "", {}}, ParseCase{"NoSemicolon", "[HorzScroll(-1)]", {}},
                      ParseCase{"HexArgument", "[x($10);]", {{"x", 16}}},
                      ParseCase{"LeadingBlankInArgument", "[x( 5);]", {{"x", 5}}},
                      ParseCase{"LongNameCut",
                                "[abcdefghijklmnopqrstuvwxyz0123(1);]",
                                {{"abcdefghijklmnopqrstuvwxy", 1}}},
                      ParseCase{"UnknownNameParses", "[dance(3);]", {{"dance", 3}}},
                      // The first and last characters go unexamined, whatever they are.
                      ParseCase{"AnyEnclosure", "xa(1);y", {{"a", 1}}}),
    [](const auto& info) { return info.param.name; });

struct FailCase {
    const char* name;
    std::string line;
    std::string message;
};

class ScriptErrors : public ::testing::TestWithParam<FailCase> {};

TEST_P(ScriptErrors, FailTheConversion) {
    try {
        ParseScriptLine(GetParam().line);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptErrors,
    ::testing::Values(
        FailCase{"EmptyArguments", "[ResetDisplay(); ]", "'''' is not a valid integer value"},
        FailCase{"NotANumber", "[HorzScroll(left); ]", "''left'' is not a valid integer value"},
        FailCase{"BlankBeforeParenthesis", "[HorzScroll (1); ]",
                 "''(1'' is not a valid integer value"},
        FailCase{"MissingClose", "[HorzScroll(1; ]", "'''' is not a valid integer value"},
        // No "(": the name is empty and the argument starts at the second character.
        FailCase{"MissingOpen", "[HorzScroll1); ]", "''orzscroll1'' is not a valid integer value"},
        // Without enclosing characters the last ";" is dropped and its statement is empty.
        FailCase{"NoEnclosure", "HorzScroll(-1);", "'''' is not a valid integer value"},
        FailCase{"OutOfRange", "[x(2147483648);]", "''2147483648'' is not a valid integer value"},
        // A later bad statement fails the whole line.
        FailCase{"SecondBad", "[a(1);b(x);]", "''x'' is not a valid integer value"},
        // The message keeps all of the argument, a NUL in it too, and its own ending.
        FailCase{"NulInArgument", std::string("[x(\0 1);]", 9),
                 std::string("''\0 1'' is not a valid integer value", 36)}),
    [](const auto& info) { return info.param.name; });

TEST(ScriptParsing, ThreeHundredStatementsAllParse) {
    std::string line = "[";
    for (int i = 0; i < 300; ++i)
        line += "horzscroll(" + std::to_string(i) + ");";
    line += "]";
    const auto statements = ParseScriptLine(line);
    ASSERT_EQ(statements.size(), 300u);
    EXPECT_EQ(statements.back(), (ScriptStatement{"horzscroll", 299}));
}

} // namespace
} // namespace vesmera
