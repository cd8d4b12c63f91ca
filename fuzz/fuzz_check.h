#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text_encoding.h"

// A property that must hold for every input: a violation aborts, so libFuzzer keeps the input
// as a crash and the run fails.
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s) at %s:%d\n", what, #condition,          \
                         __FILE__, __LINE__);                                                      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// For a helper that walks a large result to check it: the walk gives the fuzzer no guidance,
// and uninstrumented it costs a fraction of the time.
#define FUZZ_NO_COVERAGE __attribute__((no_sanitize("coverage")))

namespace vesmera::fuzz {

// True when walking the text finds no byte that starts no valid sequence.
inline bool IsWellFormedUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(text, pos);
        // U+FFFD itself is a valid three-byte sequence; a one-byte step to it is a bad byte.
        if (cp == 0xFFFD && pos - start != 3)
            return false;
    }
    return true;
}

// The length of the text in 16-bit units, as the platform's wide strings count it.
inline std::size_t Utf16Units(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();)
        units += NextCodePoint(text, pos) >= 0x10000 ? 2 : 1;
    return units;
}

inline std::string_view AsText(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace vesmera::fuzz
