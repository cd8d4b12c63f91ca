#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "link/vorlen_protocol.h"
#include "link_fakes.h"

namespace vesmera {
namespace {

using testing::Bytes;
using testing::Hex;

struct CrcRow {
    int address;
    int command;
    int crc;
    const char* frame;
};

class VorlenFrameTest : public ::testing::TestWithParam<CrcRow> {};

TEST_P(VorlenFrameTest, CrcAndFrameBytes) {
    const auto& row = GetParam();
    EXPECT_EQ(
        VorlenCrc8(static_cast<std::uint8_t>(row.address), static_cast<std::uint8_t>(row.command)),
        row.crc);
    EXPECT_EQ(Hex(VorlenFrame(row.address, static_cast<std::uint8_t>(row.command))), row.frame);
}

INSTANTIATE_TEST_SUITE_P(Table, VorlenFrameTest,
                         ::testing::Values(CrcRow{1, 0xC3, 0xE3, "FF 01 C3 E3 FF FF"},
                                           CrcRow{1, 0xC0, 0x58, "FF 01 C0 58 FF FF"},
                                           CrcRow{0, 0xC3, 0xE0, "FF 00 C3 E0 FF FF"},
                                           CrcRow{2, 0xC3, 0xE6, "FF 02 C3 E6 FF FF"},
                                           CrcRow{10, 0xC3, 0xFE, "FF 0A C3 FE FF FF"},
                                           CrcRow{50, 0xC0, 0x0D, "FF 32 C0 0D FF FF"}));

// The augmented bitwise register must agree with the common shift-and-xor form for every
// address and command, not only for the table above.
TEST(VorlenCrc, AgreesWithPlainMsbFirstCrcForAllPairs) {
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            std::uint8_t crc = 0;
            for (int byte : {a, c}) {
                crc ^= static_cast<std::uint8_t>(byte);
                for (int i = 0; i < 8; ++i)
                    crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x69 : crc << 1);
            }
            ASSERT_EQ(VorlenCrc8(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(c)), crc)
                << a << " " << c;
        }
}

TEST(VorlenFrame, AddressKeepsItsLowEightBits) {
    EXPECT_EQ(Hex(VorlenFrame(256 + 1, kVorlenWeightCommand)), "FF 01 C3 E3 FF FF");
    EXPECT_EQ(Hex(VorlenFrame(-1, kVorlenWeightCommand)).substr(0, 5), "FF FF");
}

struct DecodeRow {
    const char* name;
    std::string reply;
    std::optional<long double> weight; // no value: decoding fails
    bool stable = false;
    bool overload = false;
    std::int32_t address = 1; // the address the request went to
};

class VorlenDecodeTest : public ::testing::TestWithParam<DecodeRow> {};

TEST_P(VorlenDecodeTest, Decodes) {
    const auto& row = GetParam();
    const auto reading = DecodeReplyVorlen(row.reply, row.address);
    ASSERT_EQ(reading.has_value(), row.weight.has_value());
    if (!reading)
        return;
    EXPECT_EQ(reading->weight, *row.weight);
    EXPECT_EQ(std::signbit(reading->weight), std::signbit(*row.weight));
    EXPECT_EQ(reading->stable, row.stable);
    EXPECT_EQ(reading->overload, row.overload);
}

std::string Reply(int b4, int b5, int b6, int status, int address = 0x01, int command = 0xC3) {
    return Bytes({0xFF, address, command, b4, b5, b6, status, 0x5A, 0xFF, 0xFF});
}

const std::string kZeroAnswer = Bytes({0xFF, 0x01, 0xC0, 0x58, 0xFF, 0xFF});

INSTANTIATE_TEST_SUITE_P(
    Replies, VorlenDecodeTest,
    ::testing::Values(
        DecodeRow{"Stable1234_56", Reply(0x56, 0x34, 0x12, 0x12), 1234.56L, true, false},
        DecodeRow{"NegativeStable", Reply(0x56, 0x34, 0x12, 0x91), -12345.6L, true, false},
        DecodeRow{"UnstableTen", Reply(0x00, 0x10, 0x00, 0x02), 10.0L, false, false},
        DecodeRow{"FourDecimals", Reply(0x01, 0x00, 0x00, 0x14), 0.0001L, true, false},
        DecodeRow{"NoDecimals", Reply(0x99, 0x99, 0x99, 0x10), 999999.0L, true, false},
        DecodeRow{"OverloadPointEight", Reply(0x56, 0x34, 0x12, 0x08), 0.0L, false, true},
        DecodeRow{"OverloadPointTwoFails", Reply(0x56, 0x34, 0x12, 0x0A), std::nullopt},
        DecodeRow{"PointFiveIgnoresDigits", Reply(0xAB, 0xCD, 0xEF, 0x05), 0.0L, false, false},
        DecodeRow{"PointNineNegativeIsZero", Reply(0x11, 0x11, 0x11, 0x99), 0.0L, true, true},
        DecodeRow{"PointLetterFails", Reply(0x00, 0x00, 0x00, 0x1F), std::nullopt},
        DecodeRow{"LowNibbleNotDecimalFails", Reply(0x1A, 0x00, 0x00, 0x12), std::nullopt},
        DecodeRow{"HighNibbleNotDecimalFails", Reply(0x00, 0x00, 0xA0, 0x10), std::nullopt},
        DecodeRow{"NotPackedAtPointZeroFails", Reply(0x00, 0x1A, 0x00, 0x00), std::nullopt},
        DecodeRow{"ExactlySevenBytes", Bytes({0xFF, 0x01, 0xC3, 0x45, 0x23, 0x01, 0x13}), 12.345L,
                  true, false},
        DecodeRow{"SixBytesFail", Bytes({0xFF, 0x01, 0xC3, 0x56, 0x34, 0x12}), std::nullopt},
        DecodeRow{"OneByteFails", Bytes({0xFF}), std::nullopt},
        DecodeRow{"EmptyFails", std::string(), std::nullopt},
        DecodeRow{"AddressZero", Reply(0x00, 0x10, 0x00, 0x12, 0x00), 10.0L, true, false, 0},
        DecodeRow{"AddressLowEightBits", Reply(0x00, 0x10, 0x00, 0x12), 10.0L, true, false, 257},
        // What a garbled line delivers never becomes a weight, however plausible its bytes.
        DecodeRow{"NoFrameMarkFails", Bytes({0x00, 0x01, 0xC3, 0x56, 0x34, 0x12, 0x12}),
                  std::nullopt},
        DecodeRow{"NoiseBeforeTheFrameFails", Bytes({0x00}) + Reply(0x56, 0x34, 0x12, 0x12),
                  std::nullopt},
        DecodeRow{"OtherAddressFails", Reply(0x56, 0x34, 0x12, 0x12, 0x02), std::nullopt},
        DecodeRow{"OtherCommandFails", Reply(0x56, 0x34, 0x12, 0x12, 0x01, 0xC1), std::nullopt},
        DecodeRow{"ZeroCommandFails", Reply(0x00, 0x00, 0x00, 0x10, 0x01, 0xC0), std::nullopt},
        // A zero request's answer left in the queue is passed over to the weight reply.
        DecodeRow{"LeftoverZeroAnswer", kZeroAnswer + Reply(0x56, 0x34, 0x12, 0x12), 1234.56L, true,
                  false},
        DecodeRow{"TwoLeftoverZeroAnswers",
                  kZeroAnswer + kZeroAnswer + Reply(0x00, 0x00, 0x00, 0x10), 0.0L, true, false},
        // The old reading of fixed positions would have taken 0 stable from these bytes.
        DecodeRow{"LeftoverShortAnswer",
                  Bytes({0xFF, 0x01, 0xC0, 0x00, 0x00, 0x00, 0x10}) + Reply(0x56, 0x34, 0x12, 0x12),
                  1234.56L, true, false},
        DecodeRow{"LeftoverZeroAnswerAloneFails", kZeroAnswer, std::nullopt},
        DecodeRow{"LeftoverZeroAnswerThenCutReplyFails",
                  kZeroAnswer + Bytes({0xFF, 0x01, 0xC3, 0x56, 0x34, 0x12}), std::nullopt},
        DecodeRow{"OtherTerminalsZeroAnswerFails",
                  Bytes({0xFF, 0x02, 0xC0, 0x1D, 0xFF, 0xFF}) + Reply(0x56, 0x34, 0x12, 0x12),
                  std::nullopt}),
    [](const auto& info) { return info.param.name; });

// Random replies of 1 to 40 bytes, as from line noise or a wrong line speed, are never taken
// for a weight (reading fixed positions took about half of them); and after a frame's start,
// bytes of any length decode or fail without reading past what was given.
TEST(VorlenDecode, RandomBytesBecomeNoWeight) {
    std::mt19937 random(12345);
    int decoded = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string noise = testing::RandomBytes(random, 40);
        if (noise.empty())
            continue;
        decoded += DecodeReplyVorlen(noise, 1).has_value();
        const std::string framed = Bytes({0xFF, 0x01, round % 2 ? 0xC3 : 0xC0}) + noise;
        if (const auto r = DecodeReplyVorlen(std::string_view(framed), 1)) {
            ASSERT_LE(std::fabs(static_cast<double>(r->weight)), 999999.0);
        }
    }
    EXPECT_EQ(decoded, 0);
}

} // namespace
} // namespace vesmera
