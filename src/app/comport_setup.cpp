#include "app/comport_setup.h"

namespace vesmera {

void ConfigureComPort1(TComPort& port) {
    port.SetBaudRate(br19200);
    port.SetPort("COM1");
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity().SetBits(prNone);
}

void ComPortSetup::SetBaudRate(int bitsPerSecond) {
    if (auto rate = SelectableBaudRate(bitsPerSecond))
        port_.SetBaudRate(*rate);
}

void ComPortSetup::SetLineFormat() {
    port_.SetDataBits(dbEight);
    port_.SetStopBits(sbOneStopBit);
    port_.Parity().SetCheck(false);
    port_.SetDiscardNull(false);
}

} // namespace vesmera
