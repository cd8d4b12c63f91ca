#include <gtest/gtest.h>

#include "common/number_text.h"

using namespace vesmera;

struct IntRow {
    const char* text;
    std::optional<std::int32_t> value;
};

void PrintTo(const IntRow& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class ParseInt32Rows : public testing::TestWithParam<IntRow> {};

TEST_P(ParseInt32Rows, ReadsTheSettingsForm) {
    EXPECT_EQ(ParseInt32(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseInt32Rows,
    testing::Values(IntRow{"19200", 19200}, IntRow{"0x1A", 26}, IntRow{"0X1a", 26},
                    IntRow{"$1A", 26}, IntRow{"x1A", 26}, IntRow{"X1A", 26}, IntRow{"-3", -3},
                    IntRow{"+7", 7}, IntRow{"   42", 42}, IntRow{"-$10", -16},
                    IntRow{"-0x10", -16}, IntRow{"7abc", std::nullopt},
                    IntRow{"42 ", std::nullopt}, IntRow{"", std::nullopt},
                    IntRow{"0x", std::nullopt}, IntRow{"$", std::nullopt},
                    IntRow{"-", std::nullopt}, IntRow{"letters", std::nullopt},
                    IntRow{"2147483647", 2147483647}, IntRow{"-2147483648", INT32_MIN},
                    IntRow{"2147483648", std::nullopt}, IntRow{"-2147483649", std::nullopt},
                    IntRow{"0x7FFFFFFF", 2147483647}, IntRow{"0x80000000", std::nullopt},
                    IntRow{"99999999999999999999", std::nullopt}, IntRow{"\t5", std::nullopt},
                    IntRow{"0x 1", std::nullopt}, IntRow{"1.5", std::nullopt}));

TEST(FormatGeneral, FixedNotationWithTheGivenSeparator) {
    EXPECT_EQ(FormatGeneral(1234.56L, ','), "1234,56");
    EXPECT_EQ(FormatGeneral(1234.56L, '.'), "1234.56");
    EXPECT_EQ(FormatGeneral(10.00L, ','), "10");
    EXPECT_EQ(FormatGeneral(0.0L, ','), "0");
    EXPECT_EQ(FormatGeneral(-5001.0L, ','), "-5001");
    EXPECT_EQ(FormatGeneral(0.0001L, ','), "0,0001");
    EXPECT_EQ(FormatGeneral(0.00001L, ','), "0,00001");
    EXPECT_EQ(FormatGeneral(-12345.6L, ','), "-12345,6");
    EXPECT_EQ(FormatGeneral(-0.35L, ','), "-0,35");
    EXPECT_EQ(FormatGeneral(999999999999999.0L, ','), "999999999999999");
}

TEST(FormatGeneral, FifteenSignificantDigits) {
    EXPECT_EQ(FormatGeneral(0.1L + 0.2L, ','), "0,3");
    EXPECT_EQ(FormatGeneral(1.0L / 3.0L, ','), "0,333333333333333");
    EXPECT_EQ(FormatGeneral(2.0L / 3.0L, ','), "0,666666666666667");
    EXPECT_EQ(FormatGeneral(123456.7890123456789L, ','), "123456,789012346");
}

TEST(FormatGeneral, ScientificForHugeAndTinyMagnitudes) {
    EXPECT_EQ(FormatGeneral(1e15L, ','), "1E15");
    EXPECT_EQ(FormatGeneral(-2.5e20L, ','), "-2,5E20");
    EXPECT_EQ(FormatGeneral(1.5e-6L, ','), "1,5E-6");
    EXPECT_EQ(FormatGeneral(9.9999999999999999e14L, ','), "1E15");
    EXPECT_EQ(FormatGeneral(1e-300L, '.'), "1E-300");
}

TEST(ParseFloat, StrictForm) {
    EXPECT_EQ(ParseFloat("12,5", ','), 12.5L);
    EXPECT_EQ(ParseFloat(" -12,5 ", ','), -12.5L);
    EXPECT_EQ(ParseFloat("+3", ','), 3.0L);
    EXPECT_EQ(ParseFloat(",5", ','), 0.5L);
    EXPECT_EQ(ParseFloat("5,", ','), 5.0L);
    EXPECT_EQ(ParseFloat("1,5E3", ','), 1500.0L);
    EXPECT_EQ(ParseFloat("1e-2", '.'), 0.01L);
    EXPECT_EQ(ParseFloat("-4998,5", ','), -4998.5L);
    EXPECT_FALSE(ParseFloat("12.5", ','));
    EXPECT_FALSE(ParseFloat("12,5", '.'));
    EXPECT_FALSE(ParseFloat("1,2,3", ','));
    EXPECT_FALSE(ParseFloat("1 000", ','));
    EXPECT_FALSE(ParseFloat("", ','));
    EXPECT_FALSE(ParseFloat(",", ','));
    EXPECT_FALSE(ParseFloat("-", ','));
    EXPECT_FALSE(ParseFloat("1E", ','));
    EXPECT_FALSE(ParseFloat("abc", ','));
    EXPECT_FALSE(ParseFloat("12,5x", ','));
    EXPECT_FALSE(ParseFloat("1E99999", ','));
}

TEST(FormatGeneral, RoundTripsThroughParseFloat) {
    for (long double v : {0.0001L, 1234.56L, -12345.6L, 1e-6L, 3e17L, 42.0L}) {
        auto text = FormatGeneral(v, ',');
        auto back = ParseFloat(text, ',');
        ASSERT_TRUE(back) << text;
        EXPECT_EQ(FormatGeneral(*back, ','), text);
    }
}

TEST(ParseDecimalInt32, StatusLines) {
    EXPECT_EQ(ParseDecimalInt32("-5002"), -5002);
    EXPECT_EQ(ParseDecimalInt32(" 17 "), 17);
    EXPECT_FALSE(ParseDecimalInt32(""));
    EXPECT_FALSE(ParseDecimalInt32("$10"));
    EXPECT_FALSE(ParseDecimalInt32("-5002,0"));
    EXPECT_FALSE(ParseDecimalInt32("3000000000"));
}
