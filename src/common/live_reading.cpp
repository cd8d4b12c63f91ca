#include "common/live_reading.h"

#include <algorithm>
#include <chrono>

namespace vesmera {

namespace {

constexpr std::int64_t kStalePeriods = 3;
constexpr std::int64_t kStaleFloorMs = 1000;

template <typename Clock> std::int64_t MillisecondsOf() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

} // namespace

std::int64_t SystemReadingClock::SteadyMs() {
    return MillisecondsOf<std::chrono::steady_clock>();
}

std::int64_t SystemReadingClock::WallMs() {
    return MillisecondsOf<std::chrono::system_clock>();
}

void LiveReading::PollSucceeded() {
    lastSuccessMs_ = clock_.SteadyMs();
    succeeded_ = true;
}

void LiveReading::Observe(const ShownReading& shown) {
    if (observed_ && shown == shown_)
        return;
    observed_ = true;
    shown_ = shown;
    last_ = {shown.weight, shown.status, shown.text, clock_.WallMs(), last_.sequence + 1};
    if (listener_)
        listener_(last_);
}

std::int64_t LiveReading::StaleAfterMs() const {
    return std::max(kStaleFloorMs, kStalePeriods * pollPeriodMs_);
}

bool LiveReading::Fresh() {
    if (!observed_ || shown_.message || !succeeded_)
        return false;
    return clock_.SteadyMs() - lastSuccessMs_ <= StaleAfterMs();
}

} // namespace vesmera
