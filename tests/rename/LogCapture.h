#pragma once

#include <string>
#include <vector>

namespace tess::test {

// Reads back what the shared application logger wrote. The test program
// points HOME and XDG_* at a temporary folder before the first test and turns
// debug logging on, so the log is the test's own.
class LogCapture {
public:
    struct Line {
        std::string level;
        std::string message;
    };

    // Forgets everything logged so far.
    static void clear();
    // Entries logged since the last clear(), oldest first.
    static std::vector<Line> lines();

    // Index of the first entry whose message holds `fragment`, or -1.
    static int find(const std::string& fragment);
};

}  // namespace tess::test
