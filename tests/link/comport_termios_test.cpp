// The termios structure the port builds, as a pure function for every framing value, and
// read back from a pseudo-terminal for what a pseudo-terminal keeps (it forces 8 data bits
// and drops parity, but keeps the speed, stop bits, modes and flow control).
#include "link/comport.h"
#include "link/comport_pty_pair.h"
#include "link/termios_line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/ioctl.h>

namespace vesmera {
namespace {

TComLineState Line8N1(std::int32_t baud) {
    TComLineState s;
    s.baudRate = baud;
    s.xonChar = 17;
    s.xoffChar = 19;
    return s;
}

termios2 Built(const TComLineState& s) {
    termios2 t{};
    EXPECT_EQ(MakeTermios(s, t), 0);
    return t;
}

struct FramingRow {
    std::int32_t byteSize;
    TParityBits parity;
    TStopBits stopBits;
    unsigned framing; // the expected CSIZE, PARENB, PARODD, CMSPAR and CSTOPB bits
};

class TermiosFramingTest : public ::testing::TestWithParam<FramingRow> {};

TEST_P(TermiosFramingTest, FramingBitsFollowTheSettings) {
    TComLineState s = Line8N1(9600);
    s.byteSize = GetParam().byteSize;
    s.parity = GetParam().parity;
    s.stopBits = GetParam().stopBits;
    termios2 t = Built(s);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), GetParam().framing);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), unsigned{CREAD | CLOCAL});
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryValue, TermiosFramingTest,
    ::testing::Values(FramingRow{5, prNone, sbOneStopBit, CS5},
                      FramingRow{6, prNone, sbOneStopBit, CS6},
                      FramingRow{7, prNone, sbOneStopBit, CS7},
                      FramingRow{8, prNone, sbOneStopBit, CS8},
                      FramingRow{8, prOdd, sbOneStopBit, CS8 | PARENB | PARODD},
                      FramingRow{8, prEven, sbOneStopBit, CS8 | PARENB},
                      FramingRow{8, prMark, sbOneStopBit, CS8 | PARENB | PARODD | CMSPAR},
                      FramingRow{8, prSpace, sbOneStopBit, CS8 | PARENB | CMSPAR},
                      FramingRow{5, prNone, sbOne5StopBits, CS5 | CSTOPB},
                      FramingRow{8, prNone, sbTwoStopBits, CS8 | CSTOPB},
                      FramingRow{7, prEven, sbTwoStopBits, CS7 | PARENB | CSTOPB}));

struct SpeedRow {
    std::int32_t baud;
    unsigned code; // CBAUD bits: the Bxxx constant, or BOTHER
};

class TermiosSpeedTest : public ::testing::TestWithParam<SpeedRow> {};

TEST_P(TermiosSpeedTest, StandardSpeedsUseTheirConstantOthersBother) {
    termios2 t = Built(Line8N1(GetParam().baud));
    EXPECT_EQ(t.c_cflag & CBAUD, GetParam().code);
    EXPECT_EQ(t.c_ospeed, static_cast<speed_t>(GetParam().baud));
    EXPECT_EQ(t.c_ispeed, static_cast<speed_t>(GetParam().baud));
    // Input speed follows the output speed.
    EXPECT_EQ(t.c_cflag & CIBAUD, 0u);
}

INSTANTIATE_TEST_SUITE_P(Speeds, TermiosSpeedTest,
                         ::testing::Values(SpeedRow{110, B110}, SpeedRow{9600, B9600},
                                           SpeedRow{19200, B19200}, SpeedRow{57600, B57600},
                                           SpeedRow{115200, B115200}, SpeedRow{14400, BOTHER},
                                           SpeedRow{56000, BOTHER}, SpeedRow{128000, BOTHER},
                                           SpeedRow{256000, BOTHER}, SpeedRow{31250, BOTHER}));

TEST(TermiosLineTest, RawModeNoHandshakeAndReadsThatNeverWait) {
    termios2 t = Built(Line8N1(19200));
    EXPECT_EQ(t.c_lflag, 0u); // no ICANON, ECHO, ISIG, IEXTEN
    EXPECT_EQ(t.c_oflag, 0u); // no OPOST: bytes leave untouched
    // Only IGNBRK: no CR/NL mapping, no stripping, no XON/XOFF, no parity marking.
    EXPECT_EQ(t.c_iflag, unsigned{IGNBRK});
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
}

TEST(TermiosLineTest, FlowControlAndParityCheckFlags) {
    TComLineState s = Line8N1(9600);
    s.outX = true;
    s.inX = true;
    s.parityCheck = true;
    s.outCtsFlow = true;
    termios2 t = Built(s);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), unsigned{IXON | IXOFF | INPCK});
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);

    TComLineState rts = Line8N1(9600);
    rts.rtsControl = rtsHandshake;
    EXPECT_NE(Built(rts).c_cflag & CRTSCTS, 0u);
}

TEST(TermiosLineTest, ImpossibleLinesAreEinval) {
    termios2 t{};
    TComLineState s = Line8N1(9600);
    s.byteSize = 9;
    EXPECT_EQ(MakeTermios(s, t), EINVAL);
    EXPECT_EQ(MakeTermios(Line8N1(0), t), EINVAL);
    EXPECT_EQ(MakeTermios(Line8N1(-9600), t), EINVAL);
}

termios2 ReadBack(int fd) {
    termios2 t{};
    EXPECT_EQ(::ioctl(fd, TCGETS2, &t), 0);
    return t;
}

TEST(TermiosPtyTest, OpenProgramsSpeedStopBitsAndRawModeOnTheDevice) {
    test::PtyPair pty;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(br19200);
    port.SetStopBits(sbTwoStopBits);
    port.Open();
    termios2 t = ReadBack(pty.Slave());
    EXPECT_EQ(t.c_cflag & CBAUD, unsigned{B19200});
    EXPECT_EQ(t.c_ospeed, 19200u);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST(TermiosPtyTest, SpeedChangeWhileOpenReprogramsTheSameSpeedDoesNothing) {
    test::PtyPair pty;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.Open();
    EXPECT_EQ(ReadBack(pty.Slave()).c_ospeed, 9600u);

    port.SetBaudRate(br14400);
    termios2 t = ReadBack(pty.Slave());
    EXPECT_EQ(t.c_cflag & CBAUD, unsigned{BOTHER});
    EXPECT_EQ(t.c_ospeed, 14400u);

    // Someone else changes the line behind the port's back; setting the stored speed again
    // must not touch the device.
    t.c_cflag = (t.c_cflag & ~CBAUD) | B4800;
    t.c_ospeed = t.c_ispeed = 4800;
    ASSERT_EQ(::ioctl(pty.Slave(), TCSETS2, &t), 0);
    port.SetBaudRate(br14400);
    EXPECT_EQ(ReadBack(pty.Slave()).c_ospeed, 4800u);

    port.SetBaudRate(br57600);
    EXPECT_EQ(ReadBack(pty.Slave()).c_ospeed, 57600u);
}

} // namespace
} // namespace vesmera
