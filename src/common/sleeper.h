#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace vesmera {

// The blocking wait between a request and its reply. Logic takes it as an interface so tests
// count the sleeps instead of spending them.
class ISleeper {
public:
    virtual ~ISleeper() = default;
    virtual void Sleep(std::uint32_t ms) = 0;
};

class ThreadSleeper final : public ISleeper {
public:
    void Sleep(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

} // namespace vesmera
