#pragma once

#include "core/FormatSeconds.h"

#include <chrono>
#include <functional>
#include <string>

namespace tess {

// Dates in the index are REAL seconds since 1970-01-01 00:00 UTC.
using IndexDate = std::chrono::system_clock::time_point;
// Where the dates the index stores come from.
using IndexClock = std::function<IndexDate()>;

inline double secondsSince1970(IndexDate date)
{
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

inline IndexDate dateFromSecondsSince1970(double seconds)
{
    return IndexDate(std::chrono::duration_cast<IndexDate::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace tess
