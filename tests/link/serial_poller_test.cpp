#include <gtest/gtest.h>

#include <string>

#include "common/color.h"
#include "common/shown_messages.h"
#include "link/protocol_643.h"
#include "link/serial_link.h"
#include "link_fakes.h"

namespace vesmera {
namespace {

using testing::Bytes;

std::string VorlenReply(int b4, int b5, int b6, int status) {
    return Bytes({0xFF, 0x01, 0xC3, b4, b5, b6, status, 0x00, 0xFF, 0xFF});
}

std::string Reply643(const std::string& field, char status) {
    return "\x02" + field + status + "\r";
}

// The poll cycle's effects, each poll run to its end on the fake scheduler.
class SerialPollerTest : public ::testing::Test {
protected:
    SerialPollerTest() : channel(&log) {}

    void VorlenPoll(const std::string& reply) {
        channel.Arrive(reply);
        VorlenPoll();
    }
    void VorlenPoll() {
        link.TickVorlen();
        rig.Finish();
    }
    void Poll643(const std::string& reply) {
        // The reply arrives during the second delay, after the DLE has gone out.
        channel.responder = [reply](const std::string& bytes) {
            return bytes == std::string(1, kDle) ? reply : std::string();
        };
        link.Tick643();
        rig.Finish();
        channel.responder = nullptr;
    }
    void FailPolls(int count) {
        for (int i = 0; i < count; ++i)
            VorlenPoll();
    }
    void ExpectLinkLost() {
        EXPECT_EQ(state.weight, kNoTerminalLink);
        EXPECT_EQ(state.status, kStatusUnstable);
        EXPECT_EQ(state.errorCounter, 11);
        EXPECT_FALSE(indicator.visible);
        EXPECT_TRUE(message.visible);
        EXPECT_EQ(message.text, kMessageLinkLost);
        EXPECT_EQ(indicator.text, "-5001");
    }

    testing::CallLog log;
    testing::FakeChannel channel;
    testing::LinkRig rig{channel};
    HeldSettings& settings = rig.settings;
    SharedWeightState& state = rig.state;
    testing::FakeIndicator& indicator = rig.indicator;
    testing::FakeMessage& message = rig.message;
    SerialLink& link = rig.link;
};

TEST_F(SerialPollerTest, Poll643DropsTheAnswerToTheAddressBeforeReadingTheReply) {
    channel.Arrive("0123456789"); // ten bytes of leftovers: all dropped by the first read
    Poll643(Reply643(" 123.45", '1'));
    EXPECT_EQ(state.weight, 123.45L);
    EXPECT_EQ(state.status, kStatusUnstable);
    EXPECT_EQ(indicator.text, "123,45");
}

TEST_F(SerialPollerTest, SuccessfulPollStoresColoursAndShowsIndicator) {
    indicator.visible = false;
    message.visible = true;
    state.errorCounter = 7;
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x12));
    EXPECT_EQ(state.weight, 1234.56L);
    EXPECT_EQ(state.status, kStatusStable);
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(indicator.color, clGreen);
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
    EXPECT_EQ(indicator.text, "1234,56");

    VorlenPoll(VorlenReply(0x00, 0x10, 0x00, 0x02));
    EXPECT_EQ(state.status, kStatusUnstable);
    EXPECT_EQ(indicator.color, clRed);
    EXPECT_EQ(indicator.text, "10");
}

TEST_F(SerialPollerTest, ColoursComeFromTheSettingsAtEachPoll) {
    settings.color2 = "clBlue";
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x12));
    EXPECT_EQ(indicator.color, clBlue);
    settings.color2 = "0x123456";
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x12));
    EXPECT_EQ(indicator.color, 0x123456);
}

TEST_F(SerialPollerTest, OverloadShowsMessageWithCodeValues) {
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x18));
    EXPECT_EQ(state.weight, kNoTerminalLink);
    EXPECT_EQ(state.status, kStatusUnstable);
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(indicator.color, clGreen); // coloured by the reply before the overload took over
    EXPECT_FALSE(indicator.visible);
    EXPECT_TRUE(message.visible);
    EXPECT_EQ(message.text, kMessageOverload);
    EXPECT_EQ(indicator.text, "-5001");

    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x12));
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
}

TEST_F(SerialPollerTest, OverloadWithDecimalPointIsAFailedPoll) {
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x12));
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x0A));
    EXPECT_EQ(state.errorCounter, 1);
    EXPECT_EQ(state.weight, 1234.56L);
    EXPECT_TRUE(indicator.visible);
    EXPECT_NE(message.text, kMessageOverload);
}

TEST_F(SerialPollerTest, UnconvertibleColourFailsThePollAfterStoringTheReading) {
    settings.color2 = "clNoSuchColour";
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x12));
    EXPECT_EQ(state.errorCounter, 1);
    EXPECT_EQ(state.weight, 1234.56L);
    EXPECT_EQ(state.status, kStatusStable);
    EXPECT_FALSE(indicator.color);
    EXPECT_EQ(indicator.text, "1234,56");
}

TEST_F(SerialPollerTest, TenFailuresChangeNothingTheEleventhLosesTheLink) {
    VorlenPoll(VorlenReply(0x56, 0x34, 0x12, 0x12));
    indicator.color.reset();
    FailPolls(10);
    EXPECT_EQ(state.errorCounter, 10);
    EXPECT_EQ(state.weight, 1234.56L);
    EXPECT_EQ(state.status, kStatusStable);
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
    EXPECT_FALSE(indicator.color);
    EXPECT_EQ(indicator.text, "1234,56");
    EXPECT_EQ(indicator.textWrites, 11);

    FailPolls(1);
    ExpectLinkLost();
    EXPECT_EQ(indicator.color, clRed); // nothing received in this poll

    message.text.clear();
    FailPolls(5);
    ExpectLinkLost(); // the counter stays at 11 and the message is set again
}

TEST_F(SerialPollerTest, OneSuccessResetsTheRunOfFailures) {
    FailPolls(11);
    ExpectLinkLost();
    VorlenPoll(VorlenReply(0x00, 0x00, 0x00, 0x10));
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(state.weight, 0.0L);
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
    EXPECT_EQ(indicator.text, "0");
    FailPolls(10);
    EXPECT_TRUE(indicator.visible);
    FailPolls(1);
    ExpectLinkLost();
}

struct LostColourRow {
    const char* name;
    std::int32_t status;
    std::string received;
    TColor color;
};

class LinkLostColourTest : public SerialPollerTest,
                           public ::testing::WithParamInterface<LostColourRow> {};

TEST_P(LinkLostColourTest, StableColourNeedsStableStatusAndMoreThanTwoCharacters) {
    const auto& row = GetParam();
    state.status = row.status;
    state.errorCounter = 10;
    VorlenPoll(row.received);
    EXPECT_EQ(indicator.color, row.color);
    ExpectLinkLost();
}

INSTANTIATE_TEST_SUITE_P(
    Rule, LinkLostColourTest,
    ::testing::Values(LostColourRow{"StableThree", kStatusStable, "abc", clGreen},
                      LostColourRow{"StableTwo", kStatusStable, "ab", clRed},
                      LostColourRow{"StableNothing", kStatusStable, "", clRed},
                      LostColourRow{"UnstableThree", kStatusUnstable, "abc", clRed},
                      LostColourRow{"NoStatusYet", 0, "abcdef", clRed}),
    [](const auto& info) { return info.param.name; });

TEST_F(SerialPollerTest, LinkLostWithUnconvertibleColourStillShowsTheMessage) {
    settings.color1 = "nonsense";
    state.errorCounter = 10;
    VorlenPoll();
    EXPECT_FALSE(indicator.color);
    ExpectLinkLost();
}

TEST_F(SerialPollerTest, TheLastChannelFailureIsKeptUntilAPollSucceeds) {
    FailureReport& report = rig.failures;
    std::vector<std::string> heard;
    report.SetListener([&](const std::string& text) { heard.push_back(text); });

    channel.failWrite = true;
    VorlenPoll();
    VorlenPoll(); // the same text again is no news
    EXPECT_EQ(report.Text(), "WriteFile function failed (Error: 5)");
    channel.failWrite = false;
    channel.failRead = true;
    Poll643("");
    EXPECT_EQ(report.Text(), "ReadFile function failed (Error: 5)");
    channel.failRead = false;

    // Silence says nothing about the channel: the reason stays.
    VorlenPoll();
    EXPECT_EQ(report.Text(), "ReadFile function failed (Error: 5)");
    EXPECT_EQ(state.errorCounter, 4);

    VorlenPoll(VorlenReply(0x00, 0x12, 0x34, 0x00));
    EXPECT_EQ(report.Text(), "");
    EXPECT_EQ(heard, (std::vector<std::string>{"WriteFile function failed (Error: 5)",
                                               "ReadFile function failed (Error: 5)", ""}));
}

TEST_F(SerialPollerTest, FailedWriteStillLeavesThePortOpen) {
    channel.failWrite = true;
    FailPolls(11);
    EXPECT_TRUE(channel.open);
    EXPECT_EQ(std::count(log.begin(), log.end(), "close"), 0);
}

TEST_F(SerialPollerTest, Poll643ResetsTheCounterAndShowsIndicator) {
    FailPolls(11);
    Poll643(Reply643("-  12.5", '0'));
    EXPECT_EQ(state.weight, -12.5L);
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_TRUE(indicator.visible);
    EXPECT_FALSE(message.visible);
    EXPECT_EQ(indicator.text, "-12,5");
}

TEST_F(SerialPollerTest, RepliesOfAnyShapeDecodeOrCountOnce) {
    std::mt19937 random(99);
    for (int round = 0; round < 2000; ++round) {
        std::string reply = testing::RandomBytes(random, 210);
        const int before = state.errorCounter;
        if (round % 2)
            VorlenPoll(reply);
        else
            Poll643(reply);
        ASSERT_TRUE(state.errorCounter == 0 || state.errorCounter == std::min(before + 1, 11));
        ASSERT_LE(state.errorCounter, 11);
        while (!channel.Queued().empty()) // only what one poll reads may count
            channel.ReadStr(reply, 100);
    }
}

// Both separators: the decoders read a "." or packed digits the same way on every machine,
// and only the weight text shown follows the user's separator.
struct SeparatorRow {
    const char* name;
    bool vorlen;
    std::string reply;
    long double weight;
    std::int32_t status;
    const char* commaText;
    const char* pointText;
};

class SeparatorTest : public SerialPollerTest,
                      public ::testing::WithParamInterface<std::tuple<SeparatorRow, char>> {};

TEST_P(SeparatorTest, DecodesAlikeAndShowsWithTheUserSeparator) {
    const auto& [row, separator] = GetParam();
    testing::LinkRig local(channel, separator);
    if (row.vorlen) {
        channel.Arrive(row.reply);
        local.link.TickVorlen();
    } else {
        channel.responder = [reply = row.reply](const std::string& bytes) {
            return bytes == std::string(1, kDle) ? reply : std::string();
        };
        local.link.Tick643();
    }
    local.Finish();
    const SharedWeightState& state = local.state;
    const testing::FakeIndicator& indicator = local.indicator;
    EXPECT_EQ(state.errorCounter, 0);
    EXPECT_EQ(state.weight, row.weight);
    EXPECT_EQ(state.status, row.status);
    EXPECT_EQ(indicator.text, separator == ',' ? row.commaText : row.pointText);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SeparatorTest,
    ::testing::Combine(
        ::testing::Values(SeparatorRow{"Vorlen1234_56", true, VorlenReply(0x56, 0x34, 0x12, 0x12),
                                       1234.56L, kStatusStable, "1234,56", "1234.56"},
                          SeparatorRow{"VorlenNegative", true, VorlenReply(0x56, 0x34, 0x12, 0x91),
                                       -12345.6L, kStatusStable, "-12345,6", "-12345.6"},
                          SeparatorRow{"VorlenTen", true, VorlenReply(0x00, 0x10, 0x00, 0x02),
                                       10.0L, kStatusUnstable, "10", "10"},
                          SeparatorRow{"VorlenPointFive", true, VorlenReply(0x56, 0x34, 0x12, 0x05),
                                       0.0L, kStatusUnstable, "0", "0"},
                          SeparatorRow{"VorlenTenThousandth", true,
                                       VorlenReply(0x01, 0x00, 0x00, 0x14), 0.0001L, kStatusStable,
                                       "0,0001", "0.0001"},
                          SeparatorRow{"Field123_45", false, Reply643(" 123.45", '0'), 123.45L,
                                       kStatusStable, "123,45", "123.45"},
                          SeparatorRow{"Field123_45Unstable", false, Reply643(" 123.45", '1'),
                                       123.45L, kStatusUnstable, "123,45", "123.45"},
                          SeparatorRow{"FieldMinus12_5", false, Reply643("-  12.5", '0'), -12.5L,
                                       kStatusStable, "-12,5", "-12.5"}),
        ::testing::Values(',', '.')),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == ',' ? "Comma" : "Point");
    });

} // namespace
} // namespace vesmera
