#pragma once

#include <charconv>
#include <string>
#include <system_error>

namespace tess {

// A time span for the log: seconds with `decimals` digits after a ".",
// rounded like printf's "%.*f" in the C locale. It does not follow the
// process's locale: a desktop session set to a language that writes "," as
// its decimal mark must not change the log format.
inline std::string formatSeconds(double seconds, int decimals)
{
    char buffer[400];  // any finite double in fixed notation with a few decimals
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, decimals);
    if (written.ec != std::errc {}) {
        return "0";
    }
    return std::string(buffer, written.ptr);
}

}  // namespace tess
