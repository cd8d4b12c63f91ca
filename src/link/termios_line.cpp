#include "link/termios_line.h"

#include <array>
#include <cerrno>
#include <utility>

namespace vesmera {

namespace {

// The speeds that have their own constant; every other speed goes through BOTHER.
constexpr std::array<std::pair<std::int32_t, unsigned>, 19> kSpeedCodes = {{
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
}};

unsigned SpeedCode(std::int32_t baud) {
    for (auto [speed, code] : kSpeedCodes)
        if (speed == baud)
            return code;
    return BOTHER;
}

unsigned SizeFlag(std::int32_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

unsigned ParityFlags(TParityBits parity) {
    switch (parity) {
    case prNone:
        return 0;
    case prOdd:
        return PARENB | PARODD;
    case prEven:
        return PARENB;
    case prMark:
        return PARENB | PARODD | CMSPAR;
    case prSpace:
        return PARENB | CMSPAR;
    }
    return 0;
}

} // namespace

int MakeTermios(const TComLineState& state, termios2& out) {
    if (state.byteSize < 5 || state.byteSize > 8 || state.baudRate <= 0)
        return EINVAL;
    out = termios2{};
    out.c_cflag = CREAD | CLOCAL | SizeFlag(state.byteSize) | ParityFlags(state.parity);
    // One and a half stop bits is what a UART sends for CSTOPB with five data bits.
    if (state.stopBits != sbOneStopBit)
        out.c_cflag |= CSTOPB;
    if (state.outCtsFlow || state.rtsControl == rtsHandshake)
        out.c_cflag |= CRTSCTS;
    out.c_cflag |= SpeedCode(state.baudRate);
    out.c_ispeed = static_cast<speed_t>(state.baudRate);
    out.c_ospeed = static_cast<speed_t>(state.baudRate);

    // A byte with a parity error then arrives as NUL; without the check it arrives as it is.
    out.c_iflag = IGNBRK | (state.parityCheck ? INPCK : 0u);
    if (state.outX)
        out.c_iflag |= IXON;
    if (state.inX)
        out.c_iflag |= IXOFF;
    out.c_oflag = 0;
    out.c_lflag = 0;
    out.c_cc[VSTART] = static_cast<cc_t>(state.xonChar);
    out.c_cc[VSTOP] = static_cast<cc_t>(state.xoffChar);
    out.c_cc[VMIN] = 0;
    out.c_cc[VTIME] = 0;
    return 0;
}

} // namespace vesmera
