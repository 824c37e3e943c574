#include "ui/help/HelpReference.h"

#include "model/CaseChoice.h"
#include "rules/FilesystemPreset.h"
#include "rules/OSCapabilities.h"
#include "text/Text.h"

#include <algorithm>

namespace tess::HelpReference {

namespace {

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) {
            text += ' ';
        }
        text += part;
    }
    return text;
}

CaseCell caseCell(bool caseSensitive)
{
    return caseSensitive ? CaseCell::checkmark : CaseCell::xmark;
}

}  // namespace

const std::vector<char32_t>& displayedIllegalCharacters()
{
    static const std::vector<char32_t> characters {
        U'/', U':', U'\\', U'"', U'*', U'<', U'>', U'?', U'|', U'#', U'%', U'{', U'}'};
    return characters;
}

std::string formatIllegalCharacters(const CodePointSet& characters)
{
    std::vector<std::string> labels;
    if (characters.count(U'\0') != 0) {
        labels.emplace_back("NUL");
    }
    for (const char32_t c : displayedIllegalCharacters()) {
        if (characters.count(c) != 0 && !text::isControl(c)) {
            labels.emplace_back(1, static_cast<char>(c));
        }
    }
    return labels.empty() ? "none" : joined(labels);
}

std::string formatPathLimit(const std::optional<OSPathLimit>& limit)
{
    if (!limit) {
        return "—";
    }
    const std::string value = std::to_string(limit->defaultValue());
    return limit->kind() == OSPathLimit::Kind::hardLimit ? value : value + "*";
}

std::string formatLimit(std::int64_t value)
{
    return value == kNoLimit ? "∞" : std::to_string(value);
}

std::string formatReservedNames(const CanonicalStringSet& names)
{
    std::vector<std::string> sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted.empty() ? "none" : joined(sorted);
}

std::vector<FilesystemRow> filesystemRows()
{
    std::vector<FilesystemRow> rows;
    for (const FilesystemPreset preset : FilesystemPreset::allCases()) {
        const FilesystemCapabilities caps = preset.capabilities();
        rows.push_back({std::string(preset.rawValue()),
            offersCaseChoice(preset) ? CaseCell::toggle : caseCell(caps.isCaseSensitive),
            std::string(caps.encodingCapability.rawValue()), formatLimit(caps.maxFilenameLength),
            formatLimit(caps.maxPathDepth), formatLimit(caps.maxPathLength),
            formatIllegalCharacters(caps.illegalCharacters), formatReservedNames(caps.reservedNames)});
    }
    return rows;
}

std::vector<OSRow> osRows()
{
    std::vector<OSRow> rows;
    for (const OSPreset os : OSPreset::allCases()) {
        const OSCapabilities caps = os.capabilities();
        rows.push_back({os, std::string(os.rawValue()),
            caps.isCaseSensitive ? caseCell(*caps.isCaseSensitive) : CaseCell::dash,
            formatPathLimit(caps.maxFilenameLength), formatPathLimit(caps.maxPathLength),
            formatIllegalCharacters(caps.illegalCharacters), formatReservedNames(caps.reservedNames)});
    }
    return rows;
}

}  // namespace tess::HelpReference
