#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "server/reading.h"

namespace vesmera {

// Objects keep their keys in the order written, so every reading reads the same way.
using Json = nlohmann::ordered_json;

// {"terminal", "seq", "status", "code", "value", "text", "stable", "time", "age_ms"}: value and
// text null without a weight, time and age_ms null before the first answer. age_ms is how old
// the answer is at nowSteadyMs, on the loop's clock.
Json ReadingJson(const Reading& reading, std::int64_t nowSteadyMs);

// "2026-12-10T13:00:00.123Z": UTC with milliseconds.
std::string UtcTimeText(std::int64_t wallMs);

} // namespace vesmera
