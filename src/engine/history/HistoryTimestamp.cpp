#include "history/HistoryTimestamp.h"

#include <cstdio>

namespace tess {

namespace {

using namespace std::chrono;

bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value)
{
    if (pos + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c) {
        return false;
    }
    ++pos;
    return true;
}

}  // namespace

std::string HistoryTimestamp::format(TimePoint time)
{
    const auto millis = floor<milliseconds>(time);
    const auto day = floor<days>(millis);
    const year_month_day date {day};
    const hh_mm_ss<milliseconds> clock {millis - day};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
        static_cast<int>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return buffer;
}

std::optional<HistoryTimestamp::TimePoint> HistoryTimestamp::parse(std::string_view text)
{
    std::size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!readDigits(text, pos, 4, y) || !expect(text, pos, '-') || !readDigits(text, pos, 2, mo) || !expect(text, pos, '-')
        || !readDigits(text, pos, 2, d) || !expect(text, pos, 'T') || !readDigits(text, pos, 2, h) || !expect(text, pos, ':')
        || !readDigits(text, pos, 2, mi) || !expect(text, pos, ':') || !readDigits(text, pos, 2, s) || !expect(text, pos, '.')) {
        return std::nullopt;
    }

    std::int64_t nanos = 0;
    std::size_t fractionDigits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (fractionDigits < 9) {
            nanos = nanos * 10 + (text[pos] - '0');
            ++fractionDigits;
        } else {
            return std::nullopt;
        }
        ++pos;
    }
    if (fractionDigits == 0) {
        return std::nullopt;
    }
    for (std::size_t i = fractionDigits; i < 9; ++i) {
        nanos *= 10;
    }

    int offsetMinutes = 0;
    if (pos < text.size() && text[pos] == 'Z') {
        ++pos;
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!readDigits(text, pos, 2, oh) || !expect(text, pos, ':') || !readDigits(text, pos, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetMinutes = sign * (oh * 60 + om);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }

    const year_month_day date {year {y}, month {static_cast<unsigned>(mo)}, day {static_cast<unsigned>(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 59) {
        return std::nullopt;
    }

    const auto local = sys_days {date} + hours {h} + minutes {mi} + seconds {s} + nanoseconds {nanos};
    return time_point_cast<system_clock::duration>(local - minutes {offsetMinutes});
}

}  // namespace tess
