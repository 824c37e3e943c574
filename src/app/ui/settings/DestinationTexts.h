#pragma once

// Texts of the destination section and of the destination test results,
// as pure functions over the engine's values.

#include "rules/DestinationConfig.h"
#include "rules/FilesystemCapabilities.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "rules/RuleTypes.h"
#include "rules/TargetEncoding.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace tess {

// The Client OS menu's title: "None", "All", or the selected systems' names
// in code-point order ("Linux, Windows, macOS") joined by ", ".
QString clientOSMenuText(const std::set<OSPreset>& systems);

// The filesystem menu's title, first that applies: "Probing…" while a probe
// runs; "Probed: " and the folder's name for a folder destination; the
// selected preset's name; "None".
QString filesystemMenuTitle(bool isDetecting, const std::optional<DestinationConfig>& destination,
    std::optional<FilesystemPreset> selected);
// The menu's symbol: "scope" for a folder destination, else "externaldrive".
QString filesystemMenuSymbolName(const std::optional<DestinationConfig>& destination);

// The identifier of an encoding as the test results show it: "asciiOnly",
// "utf8Basic", "utf8Full", "utf8FullNFC".
QString encodingIdentifier(TargetEncoding encoding);

// "Max path length" of a probe: "∞ (no limit found)" for no limit; with a
// probed folder "N bytes (C content + B base)", B the UTF-8 bytes of the
// folder's path and C = max(N - B, 0); else "N bytes".
QString probedPathLengthText(std::int64_t probedLength, std::optional<std::string_view> probedPath);

// The client systems whose own path limit is `cap`, by name in code-point
// order.
QStringList osesImposingPathCap(const std::set<OSPreset>& systems, std::int64_t cap);

// "(capped to C by NAMES)" when the selected systems' combined path limit C
// is smaller than the probed length; none otherwise or without systems.
std::optional<QString> osPathLengthCapNote(std::int64_t probedLength, const std::set<OSPreset>& systems);

// The printable ASCII characters (U+0020 to U+007E) of the set that are not
// control characters, ascending, joined by single spaces; "(none beyond
// control chars)" when there are none.
QString illegalCharactersText(const CodePointSet& illegalCharacters);

// One row of the test results: label, value and an optional note.
struct CapabilityRow {
    QString label;
    QString value;
    std::optional<QString> note;

    friend bool operator==(const CapabilityRow&, const CapabilityRow&) = default;
};

// The six rows of a probe's results, in display order.
std::vector<CapabilityRow> capabilityRows(const FilesystemCapabilities& capabilities,
    std::optional<std::string_view> probedPath, const std::set<OSPreset>& systems);

}  // namespace tess
