#pragma once

namespace vesmera {

// A server that resets a connection must never end the program: every send passes
// MSG_NOSIGNAL, and the program calls this once at start for anything else that writes to a
// socket or pipe.
void IgnoreSigpipe();

} // namespace vesmera
