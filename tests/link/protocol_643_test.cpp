#include <gtest/gtest.h>

#include <cmath>

#include <optional>

#include "link/protocol_643.h"
#include "link_fakes.h"

namespace vesmera {
namespace {

using testing::Hex;

struct AddressRow {
    int address;
    const char* bytes;
};

class AddressText643Test : public ::testing::TestWithParam<AddressRow> {};

TEST_P(AddressText643Test, ZeroPadded) {
    EXPECT_EQ(Hex(AddressText643(GetParam().address)), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddressText643Test,
    ::testing::Values(AddressRow{0, "02 01 30 30 30 30"}, AddressRow{1, "02 01 30 30 30 31"},
                      AddressRow{7, "02 01 30 30 30 37"}, AddressRow{9, "02 01 30 30 30 39"},
                      AddressRow{10, "02 01 30 30 31 30"}, AddressRow{50, "02 01 30 30 35 30"},
                      AddressRow{99, "02 01 30 30 39 39"}, AddressRow{100, "02 01 30 30 31 30 30"},
                      AddressRow{-3, "02 01 30 30 30 2D 33"}));

struct DecodeRow {
    const char* name;
    std::string reply;
    std::optional<long double> weight;
    bool stable = false;
};

class Decode643Test : public ::testing::TestWithParam<DecodeRow> {};

TEST_P(Decode643Test, Decodes) {
    const auto& row = GetParam();
    const auto reading = DecodeReply643(row.reply);
    ASSERT_EQ(reading.has_value(), row.weight.has_value());
    if (!reading)
        return;
    EXPECT_EQ(reading->weight, *row.weight);
    EXPECT_EQ(std::signbit(reading->weight), std::signbit(*row.weight));
    EXPECT_EQ(reading->stable, row.stable);
    EXPECT_FALSE(reading->overload);
}

std::string Reply(const std::string& field, char status) {
    return "\x02" + field + status + "\r";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Decode643Test,
    ::testing::Values(DecodeRow{"Stable", Reply(" 123.45", '0'), 123.45L, true},
                      DecodeRow{"Unstable", Reply(" 123.45", '1'), 123.45L, false},
                      DecodeRow{"SignApart", Reply("-  12.5", '0'), -12.5L, true},
                      DecodeRow{"Integer", Reply("   1000", '0'), 1000.0L, true},
                      DecodeRow{"NegativeZeroHasNoSign", Reply("-  0.00", '0'), 0.0L, true},
                      DecodeRow{"LeadingZeros", Reply("0000.10", '0'), 0.1L, true},
                      DecodeRow{"CommaInField", Reply("  12,50", '0'), 12.5L, true},
                      DecodeRow{"StatusOddLetterUnstable", Reply("      5", 'A'), 5.0L, false},
                      DecodeRow{"StatusEvenLetterStable", Reply("      5", 'D'), 5.0L, true},
                      DecodeRow{"StatusHighByteEven", Reply("      5", '\xF2'), 5.0L, true},
                      DecodeRow{"ExactlyNine", std::string("x 123.45") + '0', 123.45L, true},
                      DecodeRow{"AllBlanksFail", Reply("       ", '0'), std::nullopt},
                      DecodeRow{"LettersFail", Reply(" OVERLD", '0'), std::nullopt},
                      DecodeRow{"TwoPointsFail", Reply(" 1.2.34", '0'), std::nullopt},
                      DecodeRow{"NulInFieldFails",
                                Reply(std::string(" 12\0"
                                                  "45",
                                                  6) +
                                          " ",
                                      '0'),
                                std::nullopt},
                      DecodeRow{"EightCharactersFail", std::string("\x02 123.45"), std::nullopt},
                      DecodeRow{"EmptyFails", std::string(), std::nullopt}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vesmera
