#pragma once

#include "analysis/FileTransformationResult.h"

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// The `shortened_components` column: a map of shortened path components kept
// as a compact JSON object of strings to strings.
class ShortenedComponentsJson {
public:
    using Map = ShortenedComponents;

    // The compact JSON object, or absent when the map is empty or a key or
    // value is not valid UTF-8 (JSON cannot carry it).
    static std::optional<std::string> encode(const Map& components);

    // The map held by `json`; empty unless the whole text is valid UTF-8 and
    // one JSON object whose values are all strings.
    static Map decode(std::string_view json);
};

}  // namespace tess
