// A name server that never answers, for benchmarks of the real program: loaded with
// LD_PRELOAD, every host name lookup of the process waits for ever (until the process ends).

#include <netdb.h>
#include <unistd.h>

extern "C" int getaddrinfo(const char*, const char*, const addrinfo*, addrinfo**) {
    for (;;)
        ::pause();
}
