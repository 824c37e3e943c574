#pragma once

#include <string>
#include <string_view>

namespace tess::text {

// Whether "/" is written "\/" in a JSON string.
enum class JsonSlash { plain,
    escaped };

// Appends `value` to `out` as a JSON string, quotes included: '"' and '\'
// escaped, the control characters as \b, \f, \n, \r, \t or \u00XX (lower-case
// hex), every other byte as it is (UTF-8 passes through unchanged).
void appendJsonString(std::string& out, std::string_view value, JsonSlash slash);

}  // namespace tess::text
