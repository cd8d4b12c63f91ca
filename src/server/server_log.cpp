#include "server/server_log.h"

#include <unistd.h>

namespace vesmera {

void StderrLog::Write(const std::string& line) {
    const std::string text = line + "\n";
    // A log that cannot be written must not stop the server; what is lost is only the line.
    // (A cast to void does not silence the result check of a fortified build.)
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
}

} // namespace vesmera
