#include "server/reading_json.h"

#include <algorithm>
#include <chrono>

namespace vesmera {

namespace {

void AppendPadded(std::string& out, long long value, int width) {
    const std::string digits = std::to_string(value);
    out.append(static_cast<std::size_t>(std::max(0, width - static_cast<int>(digits.size()))), '0');
    out += digits;
}

} // namespace

std::string UtcTimeText(std::int64_t wallMs) {
    using namespace std::chrono;
    const sys_time<milliseconds> at{milliseconds(wallMs)};
    const auto day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{at - day};
    std::string out;
    AppendPadded(out, static_cast<int>(date.year()), 4);
    out += '-';
    AppendPadded(out, static_cast<unsigned>(date.month()), 2);
    out += '-';
    AppendPadded(out, static_cast<unsigned>(date.day()), 2);
    out += 'T';
    AppendPadded(out, time.hours().count(), 2);
    out += ':';
    AppendPadded(out, time.minutes().count(), 2);
    out += ':';
    AppendPadded(out, time.seconds().count(), 2);
    out += '.';
    AppendPadded(out, time.subseconds().count(), 3);
    out += 'Z';
    return out;
}

Json ReadingJson(const Reading& reading, std::int64_t nowSteadyMs) {
    Json j;
    j["terminal"] = reading.terminal;
    j["seq"] = reading.seq;
    j["status"] = StatusName(reading.status);
    j["code"] = reading.code;
    j["value"] = reading.value ? Json(*reading.value) : Json(nullptr);
    j["text"] = reading.text ? Json(*reading.text) : Json(nullptr);
    j["stable"] = reading.status == ReadingStatus::Stable;
    if (reading.answered) {
        j["time"] = UtcTimeText(reading.answered->wallMs);
        j["age_ms"] = std::max<std::int64_t>(0, nowSteadyMs - reading.answered->steadyMs);
    } else {
        j["time"] = nullptr;
        j["age_ms"] = nullptr;
    }
    return j;
}

} // namespace vesmera
