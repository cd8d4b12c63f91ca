#include "net/socket_system.h"

#include <csignal>

namespace vesmera {

void IgnoreSigpipe() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

} // namespace vesmera
