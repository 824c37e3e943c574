#pragma once

#include "rules/FilesystemCapabilities.h"
#include "rules/OSPathLimit.h"
#include "rules/OSPreset.h"
#include "rules/RuleTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace tess {

// What the reference window shows about each destination and client system,
// computed from the destination rules each time it is asked.
namespace HelpReference {

// How the case column of a row reads.
enum class CaseCell {
    toggle,  // "Toggle": the user chooses
    checkmark,  // case-sensitive
    xmark,  // case-insensitive
    dash,  // "—": the system does not say
};

struct FilesystemRow {
    std::string preset;
    CaseCell caseCell = CaseCell::xmark;
    std::string encoding;
    std::string filename;
    std::string depth;
    std::string pathLength;
    std::string illegalCharacters;
    std::string reserved;
};

struct OSRow {
    OSPreset os;
    std::string name;
    CaseCell caseCell = CaseCell::dash;
    std::string maxFilename;
    std::string maxPathLength;
    std::string illegalCharacters;
    std::string reserved;
};

// The printable characters the illegal-character cells can show, in order.
const std::vector<char32_t>& displayedIllegalCharacters();

// "NUL" first when U+0000 is in the set, then the listed characters of the
// set (control characters aside) in list order; "none" when nothing shows.
std::string formatIllegalCharacters(const CodePointSet& characters);
// "—" when absent, the value for a hard limit, the default and "*" for an
// overridable one.
std::string formatPathLimit(const std::optional<OSPathLimit>& limit);
// The value in decimal, "∞" for no limit.
std::string formatLimit(std::int64_t value);
// Sorted by bytes and joined by single spaces; "none" when empty.
std::string formatReservedNames(const CanonicalStringSet& names);

// One row per filesystem preset, in declaration order.
std::vector<FilesystemRow> filesystemRows();
// One row per client operating system, in declaration order.
std::vector<OSRow> osRows();

}  // namespace HelpReference

}  // namespace tess
