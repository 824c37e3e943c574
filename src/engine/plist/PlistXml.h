#pragma once

// Reading and writing XML property lists (the format of the defaults file and
// of everything else the application stores as a property list).

#include "core/Error.h"
#include "plist/PlistValue.h"

#include <string>
#include <string_view>

namespace tess {

// Error codes of parsePlistXml (domain kPlistErrorDomain).
inline constexpr const char* kPlistErrorDomain = "app.quenby.Tessaline.Plist";
enum class PlistErrorCode : std::int64_t {
    malformed = 1,  // not a readable XML property list
    tooDeep = 2,  // arrays and dictionaries nested deeper than kPlistMaxDepth
    unsupported = 3,  // a value this model cannot hold (UID, integer over 2^63-1)
    tooLarge = 4,  // input larger than the reader accepts
};

// Deepest nesting of arrays and dictionaries that parsePlistXml accepts.
inline constexpr int kPlistMaxDepth = 512;

// Parses an XML property list. Malformed input of any kind (empty, garbage,
// truncated, too deeply nested) yields an Error, never a crash.
Result<PlistValue> parsePlistXml(std::string_view xml);

// Writes a value as an XML property list (header, DOCTYPE, tab indentation,
// dictionary keys in byte order). Dates are written to whole seconds.
std::string toPlistXml(const PlistValue& value);

}  // namespace tess
