#pragma once

#include "analysis/TransliterationCaches.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace tess {

// Operations on one name (or on the last component of a relative path) that
// need nothing from the settings: cutting to a length, splitting off the
// extension and version suffix, the "file_" prefix, UDF name lengths.
class NameOperations final {
public:
    NameOperations() = delete;

    // ASCII form of one component (see TransliterationCaches::toAscii).
    static std::string transliterateComponent(std::string_view component, TransliterationCaches& caches);

    // The longest prefix of whole characters of at most `budget` UTF-8 bytes.
    static std::string truncateToUtf8Bytes(std::string_view text, std::int64_t budget);
    // Cuts the last component to `budget` bytes; a cut that leaves nothing
    // gives "_".
    static std::string truncateLastComponent(std::string_view path, std::int64_t budget);

    // A name's length on a UDF volume: the bytes UDF stores it in (one per
    // character when every character is at most U+00FF, else two per UTF-16
    // unit) or its UTF-8 bytes, whichever is larger. The Linux udf driver
    // refuses a name over its limit in either.
    static std::int64_t udfNameLength(std::string_view name);
    // The longest prefix of whole characters of `head` that, with `tail`
    // after it, is at most `limit` long as udfNameLength() measures.
    static std::string fitUdfNameHead(std::string_view head, std::string_view tail, std::int64_t limit);

    // (base, extension): the extension runs from the first "." (not counting a
    // leading one) to the end, dot included.
    static std::pair<std::string_view, std::string_view> splitExtension(std::string_view name);
    // (stem, suffix): the suffix is "_" plus one or more number characters at
    // the end, the "_" not being the first character.
    static std::pair<std::string_view, std::string_view> splitVersionSuffix(std::string_view base);

    static bool isDotName(std::string_view name) { return name == "." || name == ".."; }

    // "file_" in front of the last component.
    static std::string prefixReservedName(std::string_view path);
    // "file_" in front of every ancestor component that is "." or "..".
    static void prefixDotAncestors(std::string& path);

    // What an emptied component becomes.
    static constexpr std::string_view kEmptyComponentStandIn = "_";
    // What goes in front of a reserved or dot name.
    static constexpr std::string_view kReservedPrefix = "file_";
};

}  // namespace tess
