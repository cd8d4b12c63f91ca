#pragma once

// The kernel's termios2 (with c_ispeed and c_ospeed) clashes with glibc's <termios.h>: include
// this header only where <termios.h> is not needed.
#include <asm/termbits.h>

#include "link/comport_types.h"

namespace vesmera {

// The termios2 structure for a line state: raw mode, receiver on, modem control lines
// ignored (CLOCAL), reads that never wait (VMIN = VTIME = 0), a break adds no byte. Returns 0,
// or EINVAL for a byte size or speed the line cannot have (out is then unspecified).
int MakeTermios(const TComLineState& state, termios2& out);

} // namespace vesmera
