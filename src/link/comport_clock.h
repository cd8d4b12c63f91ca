#pragma once

#include <chrono>
#include <cstdint>

namespace vesmera {

// Monotonic milliseconds for the write time-out, so that tests can run it on a fake clock.
class IComClock {
public:
    virtual ~IComClock() = default;
    virtual std::int64_t NowMs() = 0;
};

class SteadyComClock final : public IComClock {
public:
    std::int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace vesmera
