#include "analysis/PerItemPasses.h"

#include "analysis/NameOperations.h"
#include "analysis/RelativePath.h"
#include "log/AppLogger.h"
#include "rules/FilesystemPreset.h"
#include "rules/RuleTypes.h"
#include "rules/TranslationTable.h"
#include "text/CharacterWalk.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <utility>

#define ANALYZER_LOG_INFO(message) emitLog((message), "INFO", __FILE__, __LINE__)

namespace tess {

namespace {

constexpr int kMaxEdgeRounds = 16;

std::int64_t byteCount(std::string_view s)
{
    return static_cast<std::int64_t>(s.size());
}

// Whether upper-casing (full mapping) and composition can leave this
// non-ASCII code point as ASCII text: its upper case is ASCII, or one of the
// three code points whose canonical form is ASCII (composition never yields
// ASCII otherwise). Works on stack buffers, without the heap.
bool mayUpperCaseToAscii(char32_t codePoint)
{
    UChar source[2];
    int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, static_cast<UChar32>(codePoint));
    UChar upper[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strToUpper(upper, 8, source, sourceLength, "", &status);
    if (U_FAILURE(status)) {
        return true;  // cannot tell: the caller takes the exact way
    }
    for (int32_t i = 0; i < length; ++i) {
        const UChar unit = upper[i];
        if (unit >= 0x80 && unit != 0x212A && unit != 0x037E && unit != 0x1FEF) {
            return false;
        }
    }
    return true;
}

bool containsCanonically(const std::vector<std::string>& list, std::string_view value)
{
    return std::any_of(list.begin(), list.end(), [&](const std::string& member) { return text::canonicallyEqual(member, value); });
}

}  // namespace

std::string PerItemPasses::characterKey(std::string_view character)
{
    if (character.size() == 1 && text::isAsciiByte(character[0])) {
        return std::string(character);
    }
    return text::nfc(character);
}

// --- CharacterSet -------------------------------------------------------------

void PerItemPasses::CharacterSet::add(std::string_view character)
{
    const std::string key = characterKey(character);
    if (key.empty()) {
        return;
    }
    isEmpty = false;
    if (key.size() == 1 && text::isAsciiByte(key[0])) {
        ascii[static_cast<unsigned char>(key[0])] = true;
        return;
    }
    if (std::find(other.begin(), other.end(), key) == other.end()) {
        other.push_back(key);
    }
}

bool PerItemPasses::CharacterSet::contains(std::string_view character) const
{
    if (character.size() == 1 && text::isAsciiByte(character[0])) {
        return ascii[static_cast<unsigned char>(character[0])];
    }
    const std::string key = characterKey(character);
    if (key.size() == 1 && text::isAsciiByte(key[0])) {
        return ascii[static_cast<unsigned char>(key[0])];
    }
    return std::find(other.begin(), other.end(), key) != other.end();
}

bool PerItemPasses::CharacterSet::asciiOnly() const
{
    // U+212A, U+037E and U+1FEF are single code points whose canonical form
    // is ASCII ("K", ";", "`"): with one of those as a member, a non-ASCII
    // character can still belong to the set.
    return other.empty() && !ascii['K'] && !ascii[';'] && !ascii['`'];
}

// --- Set-up -----------------------------------------------------------------

std::vector<TranslationEntry> PerItemPasses::effectiveTranslationEntries(const TransformationSettings& settings)
{
    std::vector<TranslationEntry> builtIn;
    if (settings.stripControlCharacters) {
        builtIn = TranslationTable::mergeEntries(TranslationTable::controlCharacterEntries(), builtIn);
    }
    if (settings.normalizeDeceptiveWhitespace) {
        builtIn = TranslationTable::mergeEntries(TranslationTable::deceptiveWhitespaceEntries(), builtIn);
    }
    if (settings.stripZeroWidthCharacters) {
        builtIn = TranslationTable::mergeEntries(TranslationTable::zeroWidthCharacterEntries(), builtIn);
    }
    return TranslationTable::mergeEntries(builtIn, settings.translationTable.entries);
}

PerItemPasses::PerItemPasses(const TransformationSettings& settings, std::int64_t destinationRootByteCount, LogSink logSink)
    : m_resolvedEncoding(settings.targetEncoding)
    , m_effectiveFileNameLength(settings.maxFilenameLength)
    , m_effectiveFolderNameLength(settings.maxFolderNameLength)
    , m_effectiveMaxPathDepth(settings.maxPathDepth)
    , m_effectiveMaxPathLength(settings.maxPathLength)
    , m_effectiveTranslationTable(effectiveTranslationEntries(settings))
    , m_destinationRootByteCount(destinationRootByteCount)
    , m_cleanRepeatedSeparators(settings.cleanRepeatedSeparators)
    , m_udfNameLengths(settings.selectedFilesystem == FilesystemPreset(FilesystemPreset::udf))
    , m_repeatedSeparatorCharacters(settings.repeatedSeparatorCharacters)
    , m_logSink(std::move(logSink))
{
    addReservedNames(settings);
    for (const std::string& character : settings.stripLeadingCharacters) {
        m_stripLeadingCharacters.add(character);
    }
    for (const std::string& character : settings.stripTrailingCharacters) {
        m_stripTrailingCharacters.add(character);
    }
    rankSeparators();
}

void PerItemPasses::addReservedNames(const TransformationSettings& settings)
{
    // Reserved names match whatever case they were entered in.
    for (const std::string& name : settings.reservedNames) {
        std::string key = text::nfc(text::toUpper(name));
        m_longestReservedName = std::max(m_longestReservedName, key.size());
        if (key.size() < m_reservedAsciiLengths.size()) {
            m_reservedAsciiLengths[key.size()] = true;
        }
        m_reservedNamesAllAscii = m_reservedNamesAllAscii && text::isAscii(key);
        m_effectiveReservedNames.insert(std::move(key));
    }
}

void PerItemPasses::rankSeparators()
{
    const auto count = static_cast<std::int64_t>(m_repeatedSeparatorCharacters.size());
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string& character = m_repeatedSeparatorCharacters[static_cast<std::size_t>(i)];
        const std::string key = characterKey(character);
        if (key.empty()) {
            continue;
        }
        m_repeatedSeparatorSet.add(key);
        const std::int64_t rank = count - i;
        if (key.size() == 1 && text::isAsciiByte(key[0])) {
            m_asciiSeparatorRank[static_cast<unsigned char>(key[0])] = rank;
            continue;
        }
        const auto found = std::find_if(m_otherSeparatorRank.begin(), m_otherSeparatorRank.end(),
            [&](const auto& entry) { return entry.first == key; });
        if (found != m_otherSeparatorRank.end()) {
            found->second = rank;
        } else {
            m_otherSeparatorRank.emplace_back(key, rank);
        }
    }
}

std::int64_t PerItemPasses::separatorPrecedence(std::string_view character) const
{
    return separatorRankOf(character);
}

std::int64_t PerItemPasses::separatorRankOf(std::string_view character) const
{
    if (character.size() == 1 && text::isAsciiByte(character[0])) {
        return m_asciiSeparatorRank[static_cast<unsigned char>(character[0])];
    }
    if (m_repeatedSeparatorSet.empty()) {
        return 0;
    }
    const std::string key = characterKey(character);
    if (key.size() == 1 && text::isAsciiByte(key[0])) {
        return m_asciiSeparatorRank[static_cast<unsigned char>(key[0])];
    }
    for (const auto& [member, rank] : m_otherSeparatorRank) {
        if (member == key) {
            return rank;
        }
    }
    return 0;
}

bool PerItemPasses::isReservedKey(std::string_view key) const
{
    if (m_effectiveReservedNames.empty()) {
        return false;
    }
    if (text::isAscii(key)) {
        return m_effectiveReservedNames.count(std::string(key)) > 0;
    }
    return m_effectiveReservedNames.count(text::nfc(key)) > 0;
}

std::string PerItemPasses::dropTrailingStripCharacters(std::string_view text) const
{
    if (m_stripTrailingCharacters.empty() || text.empty()) {
        return std::string(text);
    }
    const std::size_t runStart = trailingStripRunStart(text);
    return runStart == std::string_view::npos ? std::string(text) : std::string(text.substr(0, runStart));
}

std::size_t PerItemPasses::trailingStripRunStart(std::string_view text) const
{
    if (text.empty() || (m_stripTrailingCharacters.asciiOnly() && !m_stripTrailingCharacters.containsAsciiByte(text.back()))) {
        return std::string_view::npos;
    }
    // Start of the run of member characters that reaches the end.
    std::size_t runStart = std::string_view::npos;
    text::forEachCharacter(text, [&](std::string_view character, std::size_t offset) {
        if (m_stripTrailingCharacters.contains(character)) {
            if (runStart == std::string_view::npos) {
                runStart = offset;
            }
        } else {
            runStart = std::string_view::npos;
        }
        return true;
    });
    return runStart;
}

void PerItemPasses::emitLog(std::string message, std::string_view level, std::string_view file, int line) const
{
    if (m_logSink) {
        m_logSink(std::move(message), level, file, line);
    } else {
        AppLogger::shared().log(std::move(message), level, file, line);
    }
}

// --- All passes -----------------------------------------------------------------

void PerItemPasses::run(std::string& path, bool isDirectory, Issues& issues, std::optional<std::string>& tooDeepOriginalPath,
    TransliterationCaches& caches) const
{
    applyEncoding(path, issues, caches);
    applyTranslationTable(path, issues);
    stripCharacters(path, issues);
    if (m_cleanRepeatedSeparators) {
        // A collapsed run can leave a strip character at an edge ("0-._"
        // becomes "0."): strip and collapse again until neither changes
        // anything, so that a proposed name is final. Each round shortens
        // the path; the bound is only a guard.
        for (int round = 0; round < kMaxEdgeRounds && collapseRepeatedSeparators(path, issues) && stripCharacters(path, issues);
             ++round) {
        }
    }
    enforceLimits(path, isDirectory, issues, tooDeepOriginalPath);
}

// --- Encoding pass --------------------------------------------------------------

void PerItemPasses::applyEncoding(std::string& path, Issues& issues, TransliterationCaches& caches) const
{
    if (text::isAscii(path)) {
        return;
    }
    std::string encoded;
    if (!text::isValidUtf8(path)) {
        // Read as Windows-1252; the item is reported whatever the encoding
        // then does, so its proposed path is valid UTF-8.
        std::string valid = text::toValidUtf8(path);
        if (encodeValidPath(valid, encoded, caches) != Encoded::unchanged) {
            valid = std::move(encoded);
        }
        issues.emplace_back(FileTransformationIssue::EncodingTransformed {std::move(path), valid});
        path = std::move(valid);
        return;
    }
    if (m_resolvedEncoding == TargetEncoding::utf8Full) {
        return;
    }
    switch (encodeValidPath(path, encoded, caches)) {
    case Encoded::unchanged:
        return;
    case Encoded::replaced:
        path = std::move(encoded);
        return;
    case Encoded::reported:
        issues.emplace_back(FileTransformationIssue::EncodingTransformed {std::move(path), encoded});
        path = std::move(encoded);
        return;
    }
}

// Converts a valid UTF-8 path for the target encoding. Unless the path stays
// as it is, `out` receives the new path; the answer tells whether that change
// is to be reported. A path that needs no work costs no allocation.
PerItemPasses::Encoded PerItemPasses::encodeValidPath(std::string_view path, std::string& out,
    TransliterationCaches& caches) const
{
    // The change test of the ASCII and basic encodings: a result equal to
    // the input under canonical equivalence replaces it without an issue.
    const auto verdict = [&]() {
        if (out == path) {
            return Encoded::unchanged;
        }
        return text::canonicallyEqual(out, path) ? Encoded::replaced : Encoded::reported;
    };
    switch (m_resolvedEncoding) {
    case TargetEncoding::utf8Full:
        return Encoded::unchanged;
    case TargetEncoding::asciiOnly: {
        if (text::isAscii(path)) {
            return Encoded::unchanged;
        }
        out.clear();
        out.reserve(path.size());
        RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
            if (component.empty() || text::isAscii(component)) {
                out.append(component);
                return;
            }
            const std::string ascii = NameOperations::transliterateComponent(component, caches);
            out.append(ascii.empty() ? NameOperations::kEmptyComponentStandIn : std::string_view(ascii));
        });
        return verdict();
    }
    case TargetEncoding::utf8Basic: {
        // Only 4-byte sequences (lead bytes 0xF0 and up) lie beyond U+FFFF.
        if (std::none_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xF0; })) {
            return Encoded::unchanged;
        }
        out.clear();
        out.reserve(path.size());
        RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
            const std::size_t componentStart = out.size();
            for (std::size_t i = 0; i < component.size();) {
                if (static_cast<unsigned char>(component[i]) >= 0xF0) {
                    i += 4;
                    continue;
                }
                out.push_back(component[i]);
                ++i;
            }
            if (!component.empty() && out.size() == componentStart) {
                out.append(NameOperations::kEmptyComponentStandIn);
            }
        });
        return verdict();
    }
    case TargetEncoding::utf8FullNFC: {
        if (text::isAscii(path) || text::isNfc(path)) {
            return Encoded::unchanged;
        }
        out.clear();
        out.reserve(path.size());
        RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
            out.append(component.empty() ? std::string() : text::nfc(component));
        });
        return out == path ? Encoded::unchanged : Encoded::reported;
    }
    }
    return Encoded::unchanged;
}

// --- Translation pass -------------------------------------------------------------

std::vector<std::string> PerItemPasses::removedCharacters(const std::vector<std::string>& input,
    const std::vector<std::string>& output)
{
    std::vector<std::string> characters;
    std::array<bool, 128> listedAscii {};
    std::vector<std::string> listedOther;
    std::array<bool, 128> keptAscii {};
    std::vector<std::string> keptOther;
    const auto isAsciiKey = [](const std::string& key) { return key.size() == 1 && text::isAsciiByte(key[0]); };
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == output[i] || text::canonicallyEqual(input[i], output[i])) {
            continue;
        }
        keptAscii.fill(false);
        keptOther.clear();
        text::forEachCharacter(output[i], [&](std::string_view character, std::size_t) {
            std::string key = characterKey(character);
            if (isAsciiKey(key)) {
                keptAscii[static_cast<unsigned char>(key[0])] = true;
            } else {
                keptOther.push_back(std::move(key));
            }
            return true;
        });
        text::forEachCharacter(input[i], [&](std::string_view character, std::size_t) {
            std::string key = characterKey(character);
            if (isAsciiKey(key)) {
                const auto byte = static_cast<unsigned char>(key[0]);
                if (!keptAscii[byte] && !listedAscii[byte]) {
                    listedAscii[byte] = true;
                    characters.emplace_back(character);
                }
            } else if (std::find(keptOther.begin(), keptOther.end(), key) == keptOther.end()
                && std::find(listedOther.begin(), listedOther.end(), key) == listedOther.end()) {
                listedOther.push_back(std::move(key));
                characters.emplace_back(character);
            }
            return true;
        });
    }
    return characters;
}

void PerItemPasses::applyTranslationTable(std::string& path, Issues& issues) const
{
    const PreparedTranslationTable& table = m_effectiveTranslationTable;
    if (table.isEmpty()) {
        return;
    }
    // Cheap test first: without multi-character entries, an ASCII component
    // can only change through a byte that has a slot.
    const bool multi = !table.sortedMultiCharEntries().empty();
    const auto& slots = table.asciiByteLookup();
    const auto mayChange = [&](std::string_view component) {
        if (multi) {
            return true;
        }
        for (const char c : component) {
            if (!text::isAsciiByte(c) || slots[static_cast<unsigned char>(c)].has_value()) {
                return true;
            }
        }
        return false;
    };

    bool changed = false;
    thread_local std::string scratch;  // keeps its capacity between items
    RelativePath::forEachComponent(path, [&](std::string_view component) {
        if (changed || component.empty() || !mayChange(component)) {
            return;
        }
        scratch.assign(component);
        changed = table.applyInPlace(scratch) > 0;
    });
    if (!changed) {
        return;
    }

    const std::vector<std::string> input = RelativePath::split(path);
    std::vector<std::string> output = input;
    for (std::string& component : output) {
        if (!component.empty()) {
            table.applyInPlace(component);
        }
    }
    std::vector<std::string> characters = removedCharacters(input, output);
    // A component the table emptied becomes "_" only now, so that the list
    // above names every character the table took out.
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (output[i].empty() && !input[i].empty()) {
            output[i] = NameOperations::kEmptyComponentStandIn;
        }
    }
    std::string newPath = RelativePath::join(output);
    issues.emplace_back(FileTransformationIssue::CharacterTransformed {std::move(characters), path, newPath});
    path = std::move(newPath);
}

// --- Strip pass ---------------------------------------------------------------------

bool PerItemPasses::mayStrip(std::string_view component) const
{
    if (component.empty()) {
        return false;
    }
    if (!m_stripLeadingCharacters.empty()
        && (!m_stripLeadingCharacters.asciiOnly() || m_stripLeadingCharacters.containsAsciiByte(component.front()))) {
        return true;
    }
    return !m_stripTrailingCharacters.empty()
        && (!m_stripTrailingCharacters.asciiOnly() || m_stripTrailingCharacters.containsAsciiByte(component.back()));
}

bool PerItemPasses::stripCharacters(std::string& path, Issues& issues) const
{
    if (m_stripLeadingCharacters.empty() && m_stripTrailingCharacters.empty()) {
        return false;
    }
    bool candidate = false;
    RelativePath::forEachComponent(path, [&](std::string_view component) { candidate = candidate || mayStrip(component); });
    if (!candidate) {
        return false;
    }
    std::vector<std::string> trimmed;
    std::string out;
    out.reserve(path.size());
    RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
        if (mayStrip(component)) {
            out.append(stripComponent(component, trimmed));
        } else {
            out.append(component);
        }
    });
    if (trimmed.empty()) {
        return false;
    }
    path = std::move(out);
    for (FileTransformationIssue& issue : issues) {
        if (const auto* earlier = issue.getIf<FileTransformationIssue::TrimmedCharacters>()) {
            std::vector<std::string> components = earlier->components;
            for (std::string& component : trimmed) {
                if (!containsCanonically(components, component)) {
                    components.push_back(std::move(component));
                }
            }
            issue = FileTransformationIssue::TrimmedCharacters {std::move(components)};
            return true;
        }
    }
    issues.emplace_back(FileTransformationIssue::TrimmedCharacters {std::move(trimmed)});
    return true;
}

std::string PerItemPasses::stripComponent(std::string_view component, std::vector<std::string>& trimmed) const
{
    if (component.empty()) {
        return std::string();
    }
    std::string_view rest = component;
    if (!m_stripLeadingCharacters.empty()) {
        std::size_t cut = 0;
        // With ASCII members only, the first character must be a member byte.
        if (!m_stripLeadingCharacters.asciiOnly() || m_stripLeadingCharacters.containsAsciiByte(rest.front())) {
            text::forEachCharacter(rest, [&](std::string_view character, std::size_t offset) {
                if (!m_stripLeadingCharacters.contains(character)) {
                    return false;
                }
                cut = offset + character.size();
                return true;
            });
        }
        if (cut > 0) {
            rest.remove_prefix(cut);
            trimmed.emplace_back(component);
        }
    }
    if (!m_stripTrailingCharacters.empty()) {
        const std::size_t runStart = trailingStripRunStart(rest);
        if (runStart != std::string_view::npos) {
            rest = rest.substr(0, runStart);
            if (!containsCanonically(trimmed, component)) {
                trimmed.emplace_back(component);
            }
        }
    }
    if (rest.empty()) {
        return std::string(NameOperations::kEmptyComponentStandIn);
    }
    return std::string(rest);
}

// --- Separator pass -------------------------------------------------------------------

bool PerItemPasses::hasSeparatorRun(std::string_view component) const
{
    // With ASCII separators only, a run of two separator characters is two
    // adjacent separator bytes; anything else needs the character walk.
    if (!m_repeatedSeparatorSet.asciiOnly()) {
        return true;
    }
    for (std::size_t i = 0; i + 1 < component.size(); ++i) {
        const auto a = static_cast<unsigned char>(component[i]);
        const auto b = static_cast<unsigned char>(component[i + 1]);
        if (a < 0x80 && b < 0x80 && m_asciiSeparatorRank[a] > 0 && m_asciiSeparatorRank[b] > 0) {
            return true;
        }
    }
    return false;
}

bool PerItemPasses::collapseRepeatedSeparators(std::string& path, Issues& issues) const
{
    if (m_repeatedSeparatorSet.empty()) {
        return false;
    }
    bool mayChange = false;
    RelativePath::forEachComponent(path, [&](std::string_view component) {
        mayChange = mayChange || (!component.empty() && hasSeparatorRun(component));
    });
    if (!mayChange) {
        return false;
    }
    std::string out;
    out.reserve(path.size());
    RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
        if (component.empty() || !hasSeparatorRun(component)) {
            out.append(component);
        } else {
            out.append(collapseSeparatorRuns(component));
        }
    });
    if (out == path) {
        return false;
    }
    for (FileTransformationIssue& issue : issues) {
        if (const auto* earlier = issue.getIf<FileTransformationIssue::RepeatedSeparators>()) {
            issue = FileTransformationIssue::RepeatedSeparators {earlier->from, out};
            path = std::move(out);
            return true;
        }
    }
    issues.emplace_back(FileTransformationIssue::RepeatedSeparators {path, out});
    path = std::move(out);
    return true;
}

std::string PerItemPasses::collapseSeparatorRuns(std::string_view text) const
{
    if (m_repeatedSeparatorSet.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::string_view pending;
    std::int64_t pendingRank = 0;
    text::forEachCharacter(text, [&](std::string_view character, std::size_t) {
        const std::int64_t rank = separatorRankOf(character);
        if (rank == 0) {
            out.append(pending);
            pending = {};
            out.append(character);
        } else if (pending.empty()) {
            pending = character;
            pendingRank = rank;
        } else if (rank > pendingRank) {
            pending = character;
            pendingRank = rank;
        }
        return true;
    });
    out.append(pending);
    return out;
}

// --- Limits pass ------------------------------------------------------------------------

void PerItemPasses::enforceLimits(std::string& path, bool isDirectory, Issues& issues,
    std::optional<std::string>& tooDeepOriginalPath) const
{
    // 1. Name length.
    {
        const std::int64_t bytes = nameLength(RelativePath::lastComponent(path));
        const std::int64_t limit = isDirectory ? m_effectiveFolderNameLength : m_effectiveFileNameLength;
        if (bytes > limit) {
            if (isDirectory) {
                issues.emplace_back(FileTransformationIssue::FolderNameTooLong {bytes, limit});
                path = truncateFolderName(path, limit);
            } else {
                issues.emplace_back(FileTransformationIssue::FilenameTooLong {bytes, limit});
                path = fitFileName(path, limit, issues);
            }
        }
    }
    // 2. Depth: a folder at the limit is already too deep (its contents
    // would lie beyond it), a file only past it.
    if (m_effectiveMaxPathDepth != kNoLimit) {
        const std::int64_t depth = static_cast<std::int64_t>(RelativePath::nonEmptyComponentCount(path));
        const bool tooDeep = isDirectory ? depth >= m_effectiveMaxPathDepth : depth > m_effectiveMaxPathDepth;
        if (tooDeep) {
            issues.emplace_back(FileTransformationIssue::PathTooDeep {depth, m_effectiveMaxPathDepth});
            if (isDirectory) {
                tooDeepOriginalPath = path;
            }
        }
    }
    // 3. Path length.
    if (m_effectiveMaxPathLength != kNoLimit) {
        const std::int64_t total = m_destinationRootByteCount + byteCount(path);
        if (total > m_effectiveMaxPathLength) {
            issues.emplace_back(FileTransformationIssue::PathTooLong {total, m_effectiveMaxPathLength});
        }
    }
    // 4. Reserved name. "." and ".." are reserved everywhere: a component the
    // passes turned into one of them must never reach a rename.
    std::optional<std::string> key;
    if (!m_effectiveReservedNames.empty()) {
        key = reservedKeyFor(RelativePath::lastComponent(path), isDirectory);
    }
    if (!key && NameOperations::isDotName(RelativePath::lastComponent(path))) {
        key = std::string(RelativePath::lastComponent(path));
    }
    if (key) {
        issues.emplace_back(FileTransformationIssue::ReservedName {std::move(*key)});
        path = NameOperations::prefixReservedName(path);
        refitAfterPrefix(path, isDirectory, issues);
    }
    NameOperations::prefixDotAncestors(path);
}

std::optional<std::string> PerItemPasses::reservedKeyFor(std::string_view name, bool isDirectory) const
{
    // Upper-casing and composition shrink a text by at most a factor of 3,
    // so a much longer name cannot match; this skips the case mapping.
    const auto candidate = [&](std::string_view text) -> std::optional<std::string> {
        if (text::isAscii(text)) {
            // ASCII upper-casing keeps the length and only ASCII keys can match.
            if (text.size() < m_reservedAsciiLengths.size() && !m_reservedAsciiLengths[text.size()]) {
                return std::nullopt;
            }
            std::string key(text);
            for (char& c : key) {
                if (c >= 'a' && c <= 'z') {
                    c = static_cast<char>(c - 'a' + 'A');
                }
            }
            if (m_effectiveReservedNames.count(key) > 0) {
                return key;
            }
            return std::nullopt;
        }
        if (text.size() > 4 * m_longestReservedName) {
            return std::nullopt;
        }
        if (m_reservedNamesAllAscii) {
            // An ASCII entry can only match when every code point of the
            // name turns into ASCII; most names fail that test cheaply.
            bool mayMatch = true;
            text::forEachCodePoint(text, [&mayMatch](char32_t codePoint) {
                mayMatch = mayMatch && (codePoint < 0x80 || mayUpperCaseToAscii(codePoint));
            });
            if (!mayMatch) {
                return std::nullopt;
            }
        }
        std::string key = text::toUpper(text);
        if (isReservedKey(key)) {
            return key;
        }
        return std::nullopt;
    };
    if (isDirectory) {
        return candidate(name);
    }
    const std::string_view base = NameOperations::splitExtension(name).first;
    if (std::optional<std::string> key = candidate(base)) {
        return key;
    }
    // A file whose whole name is reserved ("." or "..", whose extension split
    // leaves a different base) is reserved too.
    return base.size() == name.size() ? std::nullopt : candidate(name);
}

void PerItemPasses::refitAfterPrefix(std::string& path, bool isDirectory, Issues& issues) const
{
    const std::int64_t limit = isDirectory ? m_effectiveFolderNameLength : m_effectiveFileNameLength;
    if (nameLength(RelativePath::lastComponent(path)) <= limit) {
        return;
    }
    if (isDirectory) {
        path = truncateFolderName(path, limit);
        return;
    }
    const bool alreadyUnresolvable = std::any_of(issues.begin(), issues.end(),
        [](const FileTransformationIssue& issue) { return issue.is<FileTransformationIssue::FilenameUnresolvable>(); });
    if (!alreadyUnresolvable) {
        path = fitFileName(path, limit, issues);
    }
}

std::int64_t PerItemPasses::nameLength(std::string_view name) const
{
    if (!m_udfNameLengths || text::isAscii(name)) {
        return byteCount(name);
    }
    return NameOperations::udfNameLength(name);
}

std::string PerItemPasses::truncateFolderName(std::string_view path, std::int64_t limit) const
{
    // A cut can end on a character the trailing strip removes: it goes too,
    // so that the cut name is final.
    std::string cut = truncateName(path, limit);
    const std::string_view name = RelativePath::lastComponent(cut);
    std::string kept = dropTrailingStripCharacters(name);
    if (kept.size() == name.size()) {
        return cut;
    }
    return RelativePath::child(RelativePath::parentPart(cut), kept.empty() ? std::string(NameOperations::kEmptyComponentStandIn) : kept);
}

std::string PerItemPasses::truncateName(std::string_view path, std::int64_t limit) const
{
    if (!m_udfNameLengths) {
        return NameOperations::truncateLastComponent(path, limit);
    }
    std::string cut = NameOperations::fitUdfNameHead(RelativePath::lastComponent(path), {}, limit);
    if (cut.empty()) {
        cut = NameOperations::kEmptyComponentStandIn;
    }
    return RelativePath::child(RelativePath::parentPart(path), cut);
}

std::string PerItemPasses::fitFileName(std::string_view path, std::int64_t limit, Issues& issues) const
{
    const std::string_view name = RelativePath::lastComponent(path);
    const std::string_view prefix = RelativePath::parentPart(path);
    const auto [base, extension] = NameOperations::splitExtension(name);
    const auto [stem, suffix] = NameOperations::splitVersionSuffix(base);
    std::string tail;
    tail.append(suffix).append(extension);
    const std::int64_t tailLength = m_udfNameLengths ? nameLength(tail) : byteCount(extension) + byteCount(suffix);
    const std::int64_t budget = limit - tailLength;

    std::string reason;
    if (budget < 1) {
        reason = "Extension";
        if (!suffix.empty()) {
            reason += " + version suffix '" + std::string(suffix) + "'";
        }
        reason += " (" + std::to_string(tailLength) + " B) exceeds " + std::to_string(limit) + " B limit";
    } else {
        std::string cut = m_udfNameLengths ? NameOperations::fitUdfNameHead(stem, tail, limit) : NameOperations::truncateToUtf8Bytes(stem, budget);
        if (suffix.empty() && extension.empty()) {
            // The cut ends the name: a trailing strip character there goes too.
            std::string kept = dropTrailingStripCharacters(cut);
            if (!kept.empty()) {
                cut = std::move(kept);
            }
        }
        if (!cut.empty()) {
            cut.append(suffix);
            cut.append(extension);
            if (m_cleanRepeatedSeparators && !tail.empty()) {
                // The cut can end on a separator that now meets the one
                // starting the extension or suffix.
                cut = collapseSeparatorRuns(cut);
            }
            return RelativePath::child(prefix, cut);
        }
        reason = "No character fits in " + std::to_string(budget) + "-byte base budget";
    }
    ANALYZER_LOG_INFO("Analyzer: unresolvable '" + std::string(name) + "' — " + reason);
    issues.emplace_back(FileTransformationIssue::FilenameUnresolvable {std::move(reason)});
    return std::string(path);
}

}  // namespace tess
