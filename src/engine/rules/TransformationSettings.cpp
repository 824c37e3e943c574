#include "rules/TransformationSettings.h"

#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"
#include "coding/ValueDecoder.h"
#include "text/Text.h"

#include <algorithm>

namespace tess {

namespace {

template <class Range>
PlistValue stringArray(const Range& strings)
{
    PlistValue::Array out;
    for (const std::string& s : strings) {
        out.emplace_back(s);
    }
    return PlistValue(std::move(out));
}

// The first character of a string; nothing for an empty string.
std::optional<std::string> firstCharacter(std::string_view s)
{
    std::optional<std::string> first;
    text::forEachGrapheme(s, [&first](std::string_view g) {
        first = std::string(g);
        return false;
    });
    return first;
}

Result<std::vector<std::string>> decodeStrings(const PlistValue& value)
{
    return ValueDecoder::decodeArrayOf<std::string>(value, ValueDecoder::decodeString);
}

Result<std::vector<std::string>> decodeCharacters(const PlistValue& value)
{
    auto strings = decodeStrings(value);
    if (!strings.ok()) {
        return strings.error();
    }
    std::vector<std::string> out;
    for (const std::string& s : *strings) {
        if (std::optional<std::string> c = firstCharacter(s)) {
            out.push_back(std::move(*c));
        }
    }
    return out;
}

Result<CanonicalStringSet> decodeCharacterSet(const PlistValue& value)
{
    auto characters = decodeCharacters(value);
    if (!characters.ok()) {
        return characters.error();
    }
    return CanonicalStringSet(characters->begin(), characters->end());
}

Result<CanonicalStringSet> decodeStringSet(const PlistValue& value)
{
    auto strings = decodeStrings(value);
    if (!strings.ok()) {
        return strings.error();
    }
    return CanonicalStringSet(strings->begin(), strings->end());
}

Result<std::set<OSPreset>> decodeSystems(const PlistValue& value)
{
    auto systems = ValueDecoder::decodeArrayOf<OSPreset>(value, OSPreset::decode);
    if (!systems.ok()) {
        return systems.error();
    }
    return std::set<OSPreset>(systems->begin(), systems->end());
}

bool canonicallyEqualLists(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const std::string& x, const std::string& y) {
        return text::canonicallyEqual(x, y);
    });
}

// Assigns a decoded value to `field`, or remembers the first failure.
template <class T, class U>
bool take(Result<T> decoded, U& field, std::optional<Error>& failure)
{
    if (!decoded.ok()) {
        failure = decoded.error();
        return false;
    }
    field = std::move(decoded).value();
    return true;
}

template <class T, class U>
bool takeIfPresent(Result<std::optional<T>> decoded, U& field, std::optional<Error>& failure)
{
    if (!decoded.ok()) {
        failure = decoded.error();
        return false;
    }
    if (*decoded) {
        field = std::move(**decoded);
    }
    return true;
}

}  // namespace

const TransformationSettings& TransformationSettings::defaultSettings()
{
    static const TransformationSettings kDefault;
    return kDefault;
}

OSCapabilities TransformationSettings::combineOSCapabilities(const std::set<OSPreset>& systems)
{
    OSCapabilities combined;
    if (systems.empty()) {
        return combined;
    }
    std::vector<OSPathLimit> nameLimits;
    std::vector<OSPathLimit> pathLimits;
    for (const OSCapabilities& caps : OSCapabilities::forOperatingSystems(systems)) {
        if (caps.isCaseSensitive) {
            combined.isCaseSensitive = combined.isCaseSensitive.value_or(true) && *caps.isCaseSensitive;
        }
        if (caps.maxFilenameLength) {
            nameLimits.push_back(*caps.maxFilenameLength);
        }
        if (caps.maxPathLength) {
            pathLimits.push_back(*caps.maxPathLength);
        }
        combined.illegalCharacters.insert(caps.illegalCharacters.begin(), caps.illegalCharacters.end());
        combined.reservedNames.insert(caps.reservedNames.begin(), caps.reservedNames.end());
    }
    combined.maxFilenameLength = OSPathLimit::smallest(nameLimits);
    combined.maxPathLength = OSPathLimit::smallest(pathLimits);
    return combined;
}

void TransformationSettings::applyPresetAndOSCapabilities()
{
    std::vector<TranslationEntry> entries;
    bool caseSensitive = selectedCaseSensitive;
    CanonicalStringSet reserved;
    std::int64_t nameLimit = kNoLimit;
    std::int64_t depthLimit = kNoLimit;
    std::int64_t pathLimit = kNoLimit;
    if (selectedFilesystem) {
        const FilesystemCapabilities caps = selectedFilesystem->capabilities(selectedCaseSensitive);
        entries = selectedFilesystem->defaultTranslationEntries();
        caseSensitive = caps.isCaseSensitive;
        reserved = caps.reservedNames;
        nameLimit = caps.maxFilenameLength;
        depthLimit = caps.maxPathDepth;
        pathLimit = caps.maxPathLength;
    }
    if (!selectedOperatingSystems.empty()) {
        const OSCapabilities folded = combineOSCapabilities(selectedOperatingSystems);
        for (OSPreset system : selectedOperatingSystems) {
            entries = TranslationTable::mergeEntries(system.defaultTranslationEntries(), entries);
        }
        if (folded.isCaseSensitive) {
            caseSensitive = *folded.isCaseSensitive && caseSensitive;
        }
        if (folded.maxFilenameLength) {
            nameLimit = std::min(folded.maxFilenameLength->defaultValue(), nameLimit);
        }
        if (folded.maxPathLength && folded.maxPathLength->defaultValue() < pathLimit) {
            pathLimit = folded.maxPathLength->defaultValue();
        }
        reserved.insert(folded.reservedNames.begin(), folded.reservedNames.end());
    }
    translationTable.entries = std::move(entries);
    isCaseSensitive = caseSensitive;
    reservedNames = std::move(reserved);
    maxFilenameLength = nameLimit;
    maxFolderNameLength = nameLimit;
    maxPathDepth = depthLimit;
    maxPathLength = pathLimit;
}

TransformationSettings TransformationSettings::make(std::optional<FilesystemPreset> filesystem, bool caseSensitive,
    const std::set<OSPreset>& operatingSystems)
{
    TransformationSettings settings = defaultSettings();
    settings.selectedFilesystem = filesystem;
    settings.selectedCaseSensitive = caseSensitive;
    settings.selectedOperatingSystems = operatingSystems;
    settings.applyPresetAndOSCapabilities();
    settings.stripLeadingCharacters = {" "};
    settings.stripTrailingCharacters = {" "};
    return settings;
}

PlistValue TransformationSettings::encode() const
{
    KeyedEncoder out;
    if (selectedFilesystem) {
        out.encode("selectedFilesystem", selectedFilesystem->encode());
    }
    out.encode("selectedCaseSensitive", PlistValue(selectedCaseSensitive));
    PlistValue::Array systems;
    for (OSPreset system : selectedOperatingSystems) {
        systems.push_back(system.encode());
    }
    out.encode("selectedOperatingSystems", PlistValue(std::move(systems)));
    out.encode("translationTable", translationTable.encode());
    out.encode("targetEncoding", targetEncoding.encode());
    out.encode("isCaseSensitive", PlistValue(isCaseSensitive));
    out.encode("reservedNames", stringArray(reservedNames));
    out.encode("maxFilenameLength", PlistValue(maxFilenameLength));
    out.encode("maxFolderNameLength", PlistValue(maxFolderNameLength));
    out.encode("maxPathDepth", PlistValue(maxPathDepth));
    out.encode("maxPathLength", PlistValue(maxPathLength));
    out.encode("stripLeadingCharacters", stringArray(stripLeadingCharacters));
    out.encode("stripTrailingCharacters", stringArray(stripTrailingCharacters));
    out.encode("cleanRepeatedSeparators", PlistValue(cleanRepeatedSeparators));
    out.encode("repeatedSeparatorCharacters", stringArray(repeatedSeparatorCharacters));
    out.encode("excludePatterns", stringArray(excludePatterns));
    out.encode("smartPathShortening", PlistValue(smartPathShortening));
    out.encode("cleanupEmptyDirsAfterRename", PlistValue(cleanupEmptyDirsAfterRename));
    out.encode("stripControlCharacters", PlistValue(stripControlCharacters));
    out.encode("normalizeDeceptiveWhitespace", PlistValue(normalizeDeceptiveWhitespace));
    out.encode("stripZeroWidthCharacters", PlistValue(stripZeroWidthCharacters));
    return out.take();
}

Result<TransformationSettings> TransformationSettings::decode(const PlistValue& value)
{
    auto container = KeyedDecoder::container(value);
    if (!container.ok()) {
        return container.error();
    }
    const KeyedDecoder& in = *container;
    TransformationSettings s;
    // Absent optional keys take these values (the separator list without the
    // space that the default value holds).
    s.repeatedSeparatorCharacters = {".", "-", "_"};
    std::optional<Error> failure;
    const bool ok = takeIfPresent(in.decodeIfPresent<FilesystemPreset>("selectedFilesystem", FilesystemPreset::decode), s.selectedFilesystem, failure)
        && takeIfPresent(in.decodeBoolIfPresent("selectedCaseSensitive"), s.selectedCaseSensitive, failure)
        && takeIfPresent(in.decodeIfPresent<std::set<OSPreset>>("selectedOperatingSystems", decodeSystems), s.selectedOperatingSystems, failure)
        && take(in.decode<TranslationTable>("translationTable", TranslationTable::decode), s.translationTable, failure)
        && take(in.decode<TargetEncoding>("targetEncoding", TargetEncoding::decode), s.targetEncoding, failure)
        && take(in.decodeBool("isCaseSensitive"), s.isCaseSensitive, failure)
        && take(in.decode<CanonicalStringSet>("reservedNames", decodeStringSet), s.reservedNames, failure)
        && take(in.decodeInt64("maxFilenameLength"), s.maxFilenameLength, failure)
        && take(in.decodeInt64("maxFolderNameLength"), s.maxFolderNameLength, failure)
        && take(in.decodeInt64("maxPathDepth"), s.maxPathDepth, failure)
        && take(in.decodeInt64("maxPathLength"), s.maxPathLength, failure)
        && take(in.decode<CanonicalStringSet>("stripLeadingCharacters", decodeCharacterSet), s.stripLeadingCharacters, failure)
        && take(in.decode<CanonicalStringSet>("stripTrailingCharacters", decodeCharacterSet), s.stripTrailingCharacters, failure)
        && take(in.decodeBool("cleanRepeatedSeparators"), s.cleanRepeatedSeparators, failure)
        && takeIfPresent(in.decodeIfPresent<std::vector<std::string>>("repeatedSeparatorCharacters", decodeCharacters), s.repeatedSeparatorCharacters, failure)
        && take(in.decode<std::vector<std::string>>("excludePatterns", decodeStrings), s.excludePatterns, failure)
        && takeIfPresent(in.decodeBoolIfPresent("smartPathShortening"), s.smartPathShortening, failure)
        && takeIfPresent(in.decodeBoolIfPresent("cleanupEmptyDirsAfterRename"), s.cleanupEmptyDirsAfterRename, failure)
        && takeIfPresent(in.decodeBoolIfPresent("stripControlCharacters"), s.stripControlCharacters, failure)
        && takeIfPresent(in.decodeBoolIfPresent("normalizeDeceptiveWhitespace"), s.normalizeDeceptiveWhitespace, failure)
        && takeIfPresent(in.decodeBoolIfPresent("stripZeroWidthCharacters"), s.stripZeroWidthCharacters, failure);
    if (!ok) {
        return *failure;
    }
    return s;
}

bool operator==(const TransformationSettings& a, const TransformationSettings& b)
{
    return a.selectedFilesystem == b.selectedFilesystem
        && a.selectedCaseSensitive == b.selectedCaseSensitive
        && a.selectedOperatingSystems == b.selectedOperatingSystems
        && a.translationTable == b.translationTable
        && a.targetEncoding == b.targetEncoding
        && a.isCaseSensitive == b.isCaseSensitive
        && canonicallyEqualSets(a.reservedNames, b.reservedNames)
        && a.maxFilenameLength == b.maxFilenameLength
        && a.maxFolderNameLength == b.maxFolderNameLength
        && a.maxPathDepth == b.maxPathDepth
        && a.maxPathLength == b.maxPathLength
        && canonicallyEqualSets(a.stripLeadingCharacters, b.stripLeadingCharacters)
        && canonicallyEqualSets(a.stripTrailingCharacters, b.stripTrailingCharacters)
        && a.cleanRepeatedSeparators == b.cleanRepeatedSeparators
        && canonicallyEqualLists(a.repeatedSeparatorCharacters, b.repeatedSeparatorCharacters)
        && canonicallyEqualLists(a.excludePatterns, b.excludePatterns)
        && a.smartPathShortening == b.smartPathShortening
        && a.cleanupEmptyDirsAfterRename == b.cleanupEmptyDirsAfterRename
        && a.stripControlCharacters == b.stripControlCharacters
        && a.normalizeDeceptiveWhitespace == b.normalizeDeceptiveWhitespace
        && a.stripZeroWidthCharacters == b.stripZeroWidthCharacters;
}

}  // namespace tess
