#pragma once

namespace vesmera {

// What a terminal's weight reply says once decoded, before any of it is applied.
struct TerminalReading {
    long double weight = 0;
    bool stable = false;
    bool overload = false; // only "Ворлен" replies can report it
};

// Zero without a sign: a negative zero would read as "-0" to automation clients.
inline long double UnsignedZero(long double weight) {
    return weight == 0 ? 0 : weight;
}

} // namespace vesmera
