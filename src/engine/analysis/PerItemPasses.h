#pragma once

#include "analysis/FileTransformationIssue.h"
#include "analysis/TransliterationCaches.h"
#include "rules/PreparedTranslationTable.h"
#include "rules/TargetEncoding.h"
#include "rules/TransformationSettings.h"
#include "rules/TranslationEntry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tess {

// Phase 1 of an analysis: the passes that transform one relative path by
// itself (encoding, translation table, stripping, separator runs, limits),
// and the name operations that depend on the settings, which the cross-item
// passes use too. Every field is set by the constructor and only read
// afterwards, so one object may be used from many threads at once.
class PerItemPasses final {
public:
    using Issues = std::vector<FileTransformationIssue>;
    // Receives every log line (same arguments as AppLogger::log). Empty: lines
    // go to AppLogger::shared().
    using LogSink = std::function<void(std::string message, std::string_view level, std::string_view file, int line)>;

    PerItemPasses(const TransformationSettings& settings, std::int64_t destinationRootByteCount, LogSink logSink = {});

    // Every pass in order on one relative path inside the source root, with
    // stripping and separator collapsing repeated until neither changes it.
    void run(std::string& path, bool isDirectory, Issues& issues, std::optional<std::string>& tooDeepOriginalPath,
        TransliterationCaches& caches) const;

    // --- The passes: each rewrites `path` in place and appends its issues.

    void applyEncoding(std::string& path, Issues& issues, TransliterationCaches& caches) const;
    void applyTranslationTable(std::string& path, Issues& issues) const;
    // These two answer whether they changed the path. Run again on a path
    // they changed before, each extends its issue instead of adding one.
    bool stripCharacters(std::string& path, Issues& issues) const;
    bool collapseRepeatedSeparators(std::string& path, Issues& issues) const;
    void enforceLimits(std::string& path, bool isDirectory, Issues& issues,
        std::optional<std::string>& tooDeepOriginalPath) const;

    // --- Name operations that depend on the settings (see NameOperations for
    // the others) -----------------------------------------------------------

    // Strips leading and trailing strip characters; the component as it was is
    // recorded in `trimmed` when it changed. A component that would become
    // empty becomes "_"; one that would begin with "." where it did not
    // keeps a visible character in front (keepVisible).
    std::string stripComponent(std::string_view component, std::vector<std::string>& trimmed) const;
    // Every maximal run of separator characters becomes its highest-ranked
    // character (the first of equal rank); a run at the start of a text that
    // did not begin with "." leaves a visible character in front of the "."
    // it may become (keepVisible).
    std::string collapseSeparatorRuns(std::string_view text) const;
    // No cleaning may hide a visible item: where `cleaned[start...]`, what
    // became of the name `name`, begins with "." and `name` did not, the
    // visible lead character goes in front. Never longer than `name` when
    // cleaning took out at least one byte before the dot.
    void keepVisible(std::string_view name, std::string& cleaned, std::size_t start = 0) const
    {
        if (start < cleaned.size() && cleaned[start] == '.' && (name.empty() || name.front() != '.')) {
            cleaned.insert(start, 1, m_visibleLead);
        }
    }
    // "_", or where the leading strip characters or the translation table
    // would take "_" away, the first of "-", the digits and the letters that
    // they leave as it is, so that a second analysis keeps it.
    char visibleLead() const { return m_visibleLead; }
    // Fits the last component, a file name, into `limit` bytes keeping its
    // extension and version suffix; appends `filenameUnresolvable` (and logs)
    // and returns the path unchanged when that is impossible.
    std::string fitFileName(std::string_view path, std::int64_t limit, Issues& issues) const;
    // The length a name is held to against the name limits: its UTF-8 bytes;
    // for the UDF preset the larger of those and the bytes UDF stores it in
    // (NameOperations::udfNameLength).
    std::int64_t nameLength(std::string_view name) const;
    bool measuresUdfNames() const { return m_udfNameLengths; }
    // `text` without the run of trailing strip characters at its end (used
    // when smart path shortening cuts a component).
    std::string dropTrailingStripCharacters(std::string_view text) const;
    // Rank of a separator character (the first listed ranks highest, the last
    // 1; a character listed twice keeps its later rank); 0 for a character
    // that is not a separator.
    std::int64_t separatorPrecedence(std::string_view character) const;

    // The full translation entry list: the settings' entries first, then the
    // enabled built-in lists (control, deceptive whitespace, zero width) for
    // characters the settings do not cover.
    static std::vector<TranslationEntry> effectiveTranslationEntries(const TransformationSettings& settings);
    // The canonical form of one character for membership tests.
    static std::string characterKey(std::string_view character);

    // --- Fields ---------------------------------------------------------------

    TargetEncoding resolvedEncoding() const { return m_resolvedEncoding; }
    std::int64_t effectiveFileNameLength() const { return m_effectiveFileNameLength; }
    std::int64_t effectiveFolderNameLength() const { return m_effectiveFolderNameLength; }
    std::int64_t effectiveMaxPathDepth() const { return m_effectiveMaxPathDepth; }
    std::int64_t effectiveMaxPathLength() const { return m_effectiveMaxPathLength; }
    const PreparedTranslationTable& effectiveTranslationTable() const { return m_effectiveTranslationTable; }
    std::int64_t destinationRootByteCount() const { return m_destinationRootByteCount; }
    bool cleanRepeatedSeparators() const { return m_cleanRepeatedSeparators; }

    // Writes one log line to the sink given at construction (or AppLogger).
    void emitLog(std::string message, std::string_view level, std::string_view file, int line) const;

private:
    // A set of characters for membership tests: single ASCII bytes in a table,
    // every other character by its NFC form.
    struct CharacterSet {
        std::array<bool, 128> ascii {};
        std::vector<std::string> other;
        bool isEmpty = true;

        bool empty() const { return isEmpty; }
        void add(std::string_view character);
        bool contains(std::string_view character) const;
        bool containsAsciiByte(char c) const { return static_cast<unsigned char>(c) < 0x80 && ascii[static_cast<unsigned char>(c)]; }
        // No character that is not one ASCII byte can be a member.
        bool asciiOnly() const;
    };

    // What the target encoding did to a valid path: nothing; a new text equal
    // to the old under canonical equivalence (no issue); a reported change.
    enum class Encoded {
        unchanged,
        replaced,
        reported,
    };

    void addReservedNames(const TransformationSettings& settings);
    void rankSeparators();
    char chooseVisibleLead() const;

    Encoded encodeValidPath(std::string_view path, std::string& out, TransliterationCaches& caches) const;
    // The distinct characters the translation table took out of the
    // components (`input` to `output`): those of a changed component that its
    // new form no longer holds, compared by canonical key, in order of first
    // appearance.
    static std::vector<std::string> removedCharacters(const std::vector<std::string>& input,
        const std::vector<std::string>& output);
    std::int64_t separatorRankOf(std::string_view character) const;
    bool hasSeparatorRun(std::string_view component) const;
    bool mayStrip(std::string_view component) const;
    // Byte offset where the run of trailing strip characters that reaches the
    // end of `text` starts, or npos when there is none.
    std::size_t trailingStripRunStart(std::string_view text) const;
    // NameOperations::truncateLastComponent in the measure of nameLength.
    std::string truncateName(std::string_view path, std::int64_t limit) const;
    // truncateName, then without the trailing strip characters the cut left
    // at the end ("_" when nothing else is left).
    std::string truncateFolderName(std::string_view path, std::int64_t limit) const;
    void refitAfterPrefix(std::string& path, bool isDirectory, Issues& issues) const;
    std::optional<std::string> reservedKeyFor(std::string_view name, bool isDirectory) const;
    // Whether a reserved-name key (already upper-cased) is reserved.
    bool isReservedKey(std::string_view key) const;

    TargetEncoding m_resolvedEncoding;
    std::int64_t m_effectiveFileNameLength;
    std::int64_t m_effectiveFolderNameLength;
    std::int64_t m_effectiveMaxPathDepth;
    std::int64_t m_effectiveMaxPathLength;
    PreparedTranslationTable m_effectiveTranslationTable;
    // Reserved names upper-cased (NFC), so entries match whatever their case.
    std::unordered_set<std::string> m_effectiveReservedNames;
    std::size_t m_longestReservedName = 0;
    bool m_reservedNamesAllAscii = true;
    // Byte lengths of the keys below 64 bytes: an ASCII name of another
    // length cannot match (ASCII upper-casing keeps the length).
    std::array<bool, 64> m_reservedAsciiLengths {};
    std::int64_t m_destinationRootByteCount;
    CharacterSet m_stripLeadingCharacters;
    CharacterSet m_stripTrailingCharacters;
    bool m_cleanRepeatedSeparators;
    bool m_udfNameLengths = false;
    char m_visibleLead = '_';
    std::vector<std::string> m_repeatedSeparatorCharacters;
    CharacterSet m_repeatedSeparatorSet;
    // Ranks by character: ASCII by byte, others by NFC form.
    std::array<std::int64_t, 128> m_asciiSeparatorRank {};
    std::vector<std::pair<std::string, std::int64_t>> m_otherSeparatorRank;
    LogSink m_logSink;
};

}  // namespace tess
