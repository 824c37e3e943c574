#pragma once

#include "plist/PlistValue.h"

#include <string>
#include <string_view>
#include <vector>

namespace tess::test {

// What the shared logger wrote since the object was made. The test program
// points HOME and XDG_* at a temporary folder before the first test and
// turns debug logging on, so the log is the program's own.
class LogCapture {
public:
    LogCapture();
    std::string text() const;
    bool contains(std::string_view fragment) const;
    // Number of lines holding `fragment`.
    int count(std::string_view fragment) const;

private:
    std::size_t m_offset;
};

std::string fileBytes(const std::string& path);
void writeBytes(const std::string& path, std::string_view bytes);
// The file read as a property list; fails the test when it is none.
PlistValue readPlistFile(const std::string& path);
// The dictionary or array inside a value; fails the test (and gives an
// empty stand-in) when the value has another type.
PlistValue::Dictionary& dictionaryOf(PlistValue& value);
PlistValue::Array& arrayOf(PlistValue& value);
// Names of a folder's entries, sorted.
std::vector<std::string> folderEntries(const std::string& path);

}  // namespace tess::test
