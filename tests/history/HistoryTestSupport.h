#pragma once

#include "LogCapture.h"
#include "history/HistoryEntry.h"

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

namespace tess::test {

inline std::chrono::system_clock::time_point utcTime(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms = 0)
{
    using namespace std::chrono;
    return sys_days {year {y} / month {mo} / day {d}} + hours {h} + minutes {mi} + seconds {s} + milliseconds {ms};
}

inline std::string readDataFile(std::string_view name)
{
    std::ifstream in(std::string(TESSALINE_TEST_DATA) + "/" + std::string(name), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::string tokens(std::initializer_list<std::string_view> parts)
{
    std::string out;
    bool first = true;
    for (std::string_view part : parts) {
        if (!first)
            out += '\0';
        out += part;
        first = false;
    }
    return out;
}

inline HistoryRecord record(std::string original, std::string final, HistoryRecordType type,
    HistoryRecordStatus status = HistoryRecordStatus::ok, std::string error = {})
{
    return HistoryRecord {std::move(original), std::move(final), type, status, std::move(error)};
}

// The whole content of a file ("" when it cannot be read).
std::string fileBytes(const std::string& path);

// Every item below `root` (hidden ones included), by its relative path (raw
// bytes): "D" for a folder, else "F:" + the file's bytes; with `modes`, each
// value is followed by " " + the item's permission bits.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot snapshotTree(const std::string& root, bool modes = false);

}  // namespace tess::test
