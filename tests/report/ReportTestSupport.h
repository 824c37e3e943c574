#pragma once

#include "index/IndexedFile.h"
#include "report/ReportService.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// A source of a scan report that hands over every one of `rows`, in order.
inline ReportService::FileSource sourceOf(const std::vector<IndexedFile>& rows)
{
    return [&rows](const ReportService::FileVisitor& visit) {
        for (const IndexedFile& file : rows) {
            visit(file);
        }
        return true;
    };
}

}  // namespace tess::test
