#include "app/comport_setup.h"

#include <gtest/gtest.h>

namespace vesmera {
namespace {

TEST(ComPort1, StoredConfigurationIs19200On8N1WithoutParityOrFlowControl) {
    TComPort port;
    ConfigureComPort1(port);
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_FALSE(port.FlowControl().OutCTSFlow());
    EXPECT_FALSE(port.FlowControl().XonXoffOut());
    EXPECT_FALSE(port.Connected());
}

class ComPortSetupSpeedTest : public ::testing::TestWithParam<std::pair<int, TBaudRate>> {};

TEST_P(ComPortSetupSpeedTest, SelectsTheSpeed) {
    TComPort port;
    ComPortSetup setup(port);
    setup.SetBaudRate(GetParam().first);
    EXPECT_EQ(port.BaudRate(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Rows, ComPortSetupSpeedTest,
                         ::testing::Values(std::pair{9600, br9600}, std::pair{14400, br14400},
                                           std::pair{19200, br19200}, std::pair{38400, br38400},
                                           std::pair{57600, br57600}));

TEST(ComPortSetup, LineFormatTurnsParityCheckAndNullStrippingOff) {
    TComPort port;
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.Parity().SetCheck(true);
    port.SetDiscardNull(true);
    ComPortSetup setup(port);
    setup.SetLineFormat();
    setup.SetPortName("Com7");
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_FALSE(port.Parity().Check());
    EXPECT_FALSE(port.DiscardNull());
    EXPECT_EQ(port.Port(), "Com7");
}

TEST(ComPortSetup, AMissingDeviceFailsToOpenWithAnEComPort) {
    TComPort port;
    ComPortSetup setup(port);
    setup.SetPortName("NotAPort");
    EXPECT_THROW(setup.Open(), EComPort);
    EXPECT_FALSE(port.Connected());
}

} // namespace
} // namespace vesmera
