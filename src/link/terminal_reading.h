#pragma once

namespace vesmera {

// What a terminal's weight reply says once decoded, before any of it is applied.
struct TerminalReading {
    long double weight = 0;
    bool stable = false;
    bool overload = false; // only "Ворлен" replies can report it
};

} // namespace vesmera
