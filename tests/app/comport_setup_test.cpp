#include "app/comport_setup.h"

#include <gtest/gtest.h>

#include <optional>

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

class ComPortSetupSpeedTest
    : public ::testing::TestWithParam<std::pair<int, std::optional<TBaudRate>>> {};

// The five offered speeds select the port's speed; any other leaves it as it was.
TEST_P(ComPortSetupSpeedTest, SelectsTheSpeed) {
    TComPort port;
    port.SetBaudRate(br110);
    ComPortSetup setup(port);
    setup.SetBaudRate(GetParam().first);
    EXPECT_EQ(port.BaudRate(), GetParam().second.value_or(br110));
    EXPECT_EQ(SelectableBaudRate(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Rows, ComPortSetupSpeedTest,
                         ::testing::Values(std::pair{9600, std::optional{br9600}},
                                           std::pair{14400, std::optional{br14400}},
                                           std::pair{19200, std::optional{br19200}},
                                           std::pair{38400, std::optional{br38400}},
                                           std::pair{57600, std::optional{br57600}},
                                           std::pair{115200, std::optional<TBaudRate>{}},
                                           std::pair{56000, std::optional<TBaudRate>{}},
                                           std::pair{0, std::optional<TBaudRate>{}}));

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
