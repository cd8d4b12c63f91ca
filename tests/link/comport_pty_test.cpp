#include "link/comport.h"
#include "link/comport_pty_pair.h"
#include "link/comport_raised.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vesmera {
namespace {

using test::PtyPair;
using test::Raised;
using test::WaitForInput;

std::string AllByteValues() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    return bytes;
}

class ComPortPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.SetPort(pty.SlavePath());
        port.Open();
        ASSERT_TRUE(port.Connected());
    }

    // What the far end sent, once it has all arrived at the port.
    std::string ReadArrived(std::size_t count) {
        EXPECT_TRUE(WaitForInput(port.Handle(), count));
        std::string bytes;
        port.ReadStr(bytes, static_cast<int>(count));
        return bytes;
    }

    int ExclusiveFlag() const {
        int exclusive = -1;
        EXPECT_EQ(::ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
        return exclusive;
    }

    PtyPair pty;
    TComPort port;
};

TEST_F(ComPortPtyTest, EveryByteValueGoesOutExactly) {
    const std::string bytes = AllByteValues();
    EXPECT_EQ(port.WriteStr(bytes), 256);
    EXPECT_EQ(pty.ReadMaster(256), bytes);
}

TEST_F(ComPortPtyTest, EveryByteValueComesInExactly) {
    const std::string bytes = AllByteValues();
    pty.WriteMaster(bytes);
    EXPECT_EQ(ReadArrived(256), bytes);
}

TEST_F(ComPortPtyTest, WideTextSendsTheLowByteOfEachCodeUnit) {
    EXPECT_EQ(port.WriteStr(std::u16string{u'\u0410', u'\u00FF', u'\0', u'1'}), 4);
    EXPECT_EQ(pty.ReadMaster(4), std::string("\x10\xFF\0"
                                             "1",
                                             4));
}

TEST_F(ComPortPtyTest, ReadTakesAtMostCountAndLeavesTheRest) {
    pty.WriteMaster("ABCDEFGHIJKLMNO");
    ASSERT_TRUE(WaitForInput(port.Handle(), 15));
    std::string bytes;
    EXPECT_EQ(port.ReadStr(bytes, 10), 10);
    EXPECT_EQ(bytes, "ABCDEFGHIJ");
    EXPECT_EQ(port.ReadStr(bytes, 10), 5);
    EXPECT_EQ(bytes, "KLMNO");
}

TEST_F(ComPortPtyTest, EmptyReadReturnsAtOnceWithEmptyText) {
    std::string bytes = "old";
    EXPECT_EQ(port.ReadStr(bytes, 100), 0);
    EXPECT_EQ(bytes, "");
    bytes = "old";
    EXPECT_EQ(port.ReadStr(bytes, 0), 0);
    EXPECT_EQ(bytes, "");
}

TEST_F(ComPortPtyTest, EmptyWriteSendsNothing) {
    EXPECT_EQ(port.WriteStr(std::string()), 0);
    EXPECT_EQ(port.WriteStr("x"), 1);
    EXPECT_EQ(pty.ReadMaster(1), "x");
}

TEST_F(ComPortPtyTest, DiscardNullDropsNulBytesWhileOpen) {
    port.SetDiscardNull(true);
    pty.WriteMaster(std::string("a\0b\0", 4));
    ASSERT_TRUE(WaitForInput(port.Handle(), 4));
    std::string bytes;
    EXPECT_EQ(port.ReadStr(bytes, 10), 2);
    EXPECT_EQ(bytes, "ab");
}

TEST_F(ComPortPtyTest, MasterClosedMakesTransfersFailWithEioAndPortStaysOpen) {
    pty.CloseMaster();
    std::string bytes;
    EComPort e = Raised([&] { port.ReadStr(bytes, 100); });
    EXPECT_EQ(e.Code(), CE_ReadFailed);
    EXPECT_EQ(e.WinCode(), EIO);
    EXPECT_EQ(e.Message(), "ReadFile function failed (Error: 5)");
    EXPECT_TRUE(port.Connected());
    // Writing to the vanished device fails too, and still leaves the port open.
    EComPort w = Raised([&] { port.WriteStr("1"); });
    EXPECT_EQ(w.Code(), CE_WriteFailed);
    EXPECT_EQ(w.WinCode(), EIO);
    EXPECT_TRUE(port.Connected());
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), -1);
}

TEST_F(ComPortPtyTest, SecondPortOnTheSameDeviceFailsUntilTheFirstCloses) {
    TComPort second;
    second.SetPort(pty.SlavePath());
    EComPort e = Raised([&] { second.Open(); });
    EXPECT_EQ(e.Code(), CE_OpenFailed);
    // EBUSY from the exclusive flag for ordinary users; root passes that flag and meets the
    // lock instead.
    EXPECT_TRUE(e.WinCode() == EBUSY || e.WinCode() == EWOULDBLOCK) << e.WinCode();
    EXPECT_FALSE(second.Connected());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(ExclusiveFlag(), 1) << "the loser of the lock cleared the holder's flag";

    port.Close();
    // Left set, the flag would outlive the close on a pseudo-terminal.
    EXPECT_EQ(ExclusiveFlag(), 0);
    second.Open();
    EXPECT_TRUE(second.Connected());
    EXPECT_EQ(second.WriteStr("z"), 1);
    EXPECT_EQ(pty.ReadMaster(1), "z");
}

TEST_F(ComPortPtyTest, SameNameKeepsThePortOtherNameMovesIt) {
    const int handle = port.Handle();
    port.SetPort(pty.SlavePath());
    EXPECT_EQ(port.Handle(), handle);

    PtyPair other;
    port.SetPort(other.SlavePath());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.WriteStr("m"), 1);
    EXPECT_EQ(other.ReadMaster(1), "m");

    // The first device is free again.
    TComPort first;
    first.SetPort(pty.SlavePath());
    first.Open();
    EXPECT_TRUE(first.Connected());
}

TEST(ComPortOpenTest, MissingDeviceFailsWithEnoentAndALaterOpenTriesAnew) {
    char folder[] = "/tmp/vesmera-comport-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string link = std::string(folder) + "/port";
    TComPort port;
    port.SetPort(link);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EComPort e = Raised([&] { port.Open(); });
        EXPECT_EQ(e.Code(), CE_OpenFailed);
        EXPECT_EQ(e.WinCode(), ENOENT);
        EXPECT_EQ(e.Message(), "Unable to open com port (Error: 2)");
        EXPECT_FALSE(port.Connected());
    }
    // The device appears under the same name; the next Open starts from the beginning.
    PtyPair pty;
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), link.c_str()), 0);
    port.Open();
    EXPECT_TRUE(port.Connected());
    port.Close();
    ::unlink(link.c_str());
    ::rmdir(folder);
}

TEST(ComPortOpenTest, ClosedPortRefusesTransfersWithPortNotOpen) {
    TComPort port;
    std::string bytes;
    for (const EComPort& e :
         {Raised([&] { port.WriteStr("1"); }), Raised([&] { port.ReadStr(bytes, 10); })}) {
        EXPECT_EQ(e.Code(), CEPortNotOpen);
        EXPECT_EQ(e.WinCode(), -1);
        EXPECT_EQ(e.Message(), "Port Not Open");
    }
    // Closing a closed port does nothing.
    EXPECT_NO_THROW(port.Close());
}

} // namespace
} // namespace vesmera
