#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSCapabilities.h"
#include "rules/OSPreset.h"
#include "rules/RuleTypes.h"
#include "rules/TargetEncoding.h"
#include "rules/TranslationTable.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tess {

// The rule set that every check and every proposed name follows. Fields 1-3
// record the user's choice of destination and client systems; the derivation
// (applyPresetAndOSCapabilities) writes translationTable, isCaseSensitive,
// reservedNames and the four limits from it. Character collections hold
// one-character (one grapheme) strings.
//
// Coded form: a keyed container whose keys are the field names.
struct TransformationSettings {
    std::optional<FilesystemPreset> selectedFilesystem;
    bool selectedCaseSensitive = true;
    std::set<OSPreset> selectedOperatingSystems;  // iterates in OSPreset::allCases() order
    TranslationTable translationTable;
    TargetEncoding targetEncoding = TargetEncoding::utf8Full;
    bool isCaseSensitive = true;
    CanonicalStringSet reservedNames;
    std::int64_t maxFilenameLength = kNoLimit;
    std::int64_t maxFolderNameLength = kNoLimit;
    std::int64_t maxPathDepth = kNoLimit;
    std::int64_t maxPathLength = kNoLimit;
    CanonicalStringSet stripLeadingCharacters;
    CanonicalStringSet stripTrailingCharacters;
    bool cleanRepeatedSeparators = false;
    std::vector<std::string> repeatedSeparatorCharacters {".", "-", "_", " "};
    std::vector<std::string> excludePatterns {".*", "*.tmp", ".DS_Store"};
    bool smartPathShortening = false;
    bool cleanupEmptyDirsAfterRename = true;
    bool stripControlCharacters = true;
    bool normalizeDeceptiveWhitespace = true;
    bool stripZeroWidthCharacters = true;

    // The shared default value (built once, thread-safe).
    static const TransformationSettings& defaultSettings();

    // Rewrites the derived fields from selectedFilesystem,
    // selectedCaseSensitive and selectedOperatingSystems.
    void applyPresetAndOSCapabilities();

    // The default settings with fields 1-3 set, derived, and both strip sets
    // set to {" "}.
    static TransformationSettings make(std::optional<FilesystemPreset> filesystem, bool caseSensitive,
        const std::set<OSPreset>& operatingSystems);

    // Folds the capabilities of a set of client systems into one value.
    static OSCapabilities combineOSCapabilities(const std::set<OSPreset>& systems);

    PlistValue encode() const;
    static Result<TransformationSettings> decode(const PlistValue& value);

    friend bool operator==(const TransformationSettings& a, const TransformationSettings& b);
};

}  // namespace tess
