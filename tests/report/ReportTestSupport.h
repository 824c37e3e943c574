#pragma once

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

namespace tess::test {

inline std::chrono::system_clock::time_point utc(int year, unsigned month, unsigned day, int hour, int minute,
    int second, int milliseconds = 0)
{
    using namespace std::chrono;
    return sys_days(year_month_day(std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)))
        + hours(hour) + minutes(minute) + seconds(second) + std::chrono::milliseconds(milliseconds);
}

inline std::string readGolden(const std::string& name)
{
    std::ifstream in(std::string(TESSALINE_TEST_DATA) + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace tess::test
