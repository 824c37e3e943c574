#pragma once

#include "LogCapture.h"
#include "plist/PlistValue.h"
#include "rules/TessalinePreset.h"
#include "rules/TransformationSettings.h"

#include <string>
#include <string_view>
#include <vector>

namespace tess::test {

// A fixed moment, 2026-03-04T05:06:07Z, for dates written into documents.
PlistValue::Date fixedDate();
// A custom preset with the given identity and settings.
TessalinePreset customPreset(const char* uuid, std::string name, TransformationSettings settings);

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
