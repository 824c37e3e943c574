#pragma once

#include <string>
#include <string_view>

namespace tess::test {

// What the shared logger wrote since the object was made (the program's log
// lives in an isolated home, with debug logging on).
class LogCapture {
public:
    LogCapture();
    std::string text() const;
    bool contains(std::string_view fragment) const;
    // Number of lines holding `fragment`.
    int count(std::string_view fragment) const;
    // Number of lines of `level` ("DEBUG", "WARN", ...) holding `fragment`.
    int count(std::string_view level, std::string_view fragment) const;

private:
    std::size_t m_offset;
};

}  // namespace tess::test
