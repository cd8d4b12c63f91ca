#pragma once

#include "link/serial_backend.h"

namespace vesmera {

// Serial devices through termios (termios2 for speeds without a Bxxx constant). A device is
// opened read-write, non-blocking, without becoming the controlling terminal, and exclusively:
// flock(LOCK_EX | LOCK_NB), which holds for root too, and TIOCEXCL, which makes a second
// open() fail with EBUSY for everyone else.
class TermiosSerialBackend final : public ISerialBackend {
public:
    SerialOpenResult Open(const std::string& path) override;
};

} // namespace vesmera
