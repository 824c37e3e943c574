#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

// The timestamp form of history files: ISO 8601 internet date-time in UTC
// with milliseconds, yyyy-MM-dd'T'HH:mm:ss.SSS'Z'. Stateless and safe to use
// from any thread.
class HistoryTimestamp {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    // Always UTC with exactly three fractional digits (sub-millisecond parts
    // are dropped, rounding towards the past).
    static std::string format(TimePoint time);

    // Accepts yyyy-MM-dd'T'HH:mm:ss, a fraction of one to nine digits, then
    // 'Z' or an offset ±HH:MM. Anything else, or a date or time out of range,
    // yields nothing.
    static std::optional<TimePoint> parse(std::string_view text);
};

}  // namespace tess
