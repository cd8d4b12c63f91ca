#pragma once

#include "app/main_window_views.h"
#include "link/comport.h"

namespace vesmera {

// ComPort1's stored configuration: 19200 bits/s, "COM1", 8 data bits, 1 stop bit, no parity,
// no flow control.
void ConfigureComPort1(TComPort& port);

// ComPort1 as the apply step configures it.
class ComPortSetup final : public ISerialPortSetup {
public:
    explicit ComPortSetup(TComPort& port) : port_(port) {}
    void SetBaudRate(int bitsPerSecond) override;
    void SetPortName(const std::string& name) override { port_.SetPort(name); }
    void SetLineFormat() override;
    void Open() override { port_.Open(); }
    void Close() override { port_.Close(); }

private:
    TComPort& port_;
};

} // namespace vesmera
