#include "analysis/PerItemPasses.h"

#include "log/AppLogger.h"
#include "rules/FilesystemPreset.h"
#include "rules/RuleTypes.h"
#include "rules/TranslationTable.h"
#include "text/CharacterWalk.h"
#include "text/Text.h"

#include <algorithm>
#include <utility>

namespace tess {

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
    m_visibleLead = chooseVisibleLead();
}

char PerItemPasses::chooseVisibleLead() const
{
    static constexpr std::string_view kCandidates = "_-0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (const char candidate : kCandidates) {
        // Tried with the dot after it, so that an entry of several
        // characters beginning with it counts too.
        std::string probe {candidate, '.'};
        if (!m_stripLeadingCharacters.containsAsciiByte(candidate) && m_effectiveTranslationTable.applyInPlace(probe) == 0) {
            return candidate;
        }
    }
    return kCandidates.front();
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

}  // namespace tess
