#include "app/comport_setup.h"

namespace vesmera {

namespace {

TBaudRate ToBaudRate(int bitsPerSecond) {
    switch (bitsPerSecond) {
    case 9600:
        return br9600;
    case 14400:
        return br14400;
    case 38400:
        return br38400;
    case 57600:
        return br57600;
    default:
        return br19200;
    }
}

} // namespace

void ConfigureComPort1(TComPort& port) {
    port.SetBaudRate(br19200);
    port.SetPort("COM1");
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity().SetBits(prNone);
}

void ComPortSetup::SetBaudRate(int bitsPerSecond) {
    port_.SetBaudRate(ToBaudRate(bitsPerSecond));
}

void ComPortSetup::SetLineFormat() {
    port_.SetDataBits(dbEight);
    port_.SetStopBits(sbOneStopBit);
    port_.Parity().SetCheck(false);
    port_.SetDiscardNull(false);
}

} // namespace vesmera
