#pragma once

// The immutable lookup form of a list of translation entries, built once per
// analysis run and read by many threads without locks.

#include "rules/TranslationEntry.h"
#include "text/Text.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tess {

class PreparedTranslationTable {
public:
    // Single characters other than one ASCII code point, keyed canonically.
    using CharacterMap = std::unordered_map<std::string, std::string, text::CanonicalHash, text::CanonicalEqual>;

    struct Applied {
        std::string text;
        std::int64_t count = 0;
    };

    PreparedTranslationTable();
    // Empty `from` entries are skipped; the first entry for a single
    // character wins; multi-character entries are kept longest first
    // (stable). A replacement holding "/" or NUL gets "_" in their place.
    explicit PreparedTranslationTable(const std::vector<TranslationEntry>& entries);

    // Translates `text`; count > 0 exactly when something was replaced.
    Applied apply(std::string_view text) const;
    // The same in place: `text` is left untouched (no allocation) when
    // nothing matched. Returns the count.
    std::int64_t applyInPlace(std::string& text) const;

    const std::array<std::optional<std::string>, 128>& asciiByteLookup() const { return m_asciiByteLookup; }
    bool hasAsciiEntries() const { return m_hasAsciiEntries; }
    const CharacterMap& nonAsciiCharMap() const { return m_nonAsciiCharMap; }
    const std::vector<TranslationEntry>& sortedMultiCharEntries() const { return m_sortedMultiCharEntries; }
    bool isEmpty() const { return m_isEmpty; }
    std::int64_t count() const { return m_count; }

private:
    struct MultiEntry {
        std::vector<std::string> fromGraphemes;  // NFC form of each character of `from`
        std::string fromNfc;  // their concatenation
        bool fromIsAscii = false;
        std::int64_t fromCount = 0;  // characters of `from`
        std::int64_t toCount = 0;  // characters of `to`
    };

    void addSingle(const TranslationEntry& entry, std::string_view from);
    void addCodePointKeys(std::string_view from, std::uint32_t replacementIndex);
    void addCodePointKey(char32_t codePoint, std::uint32_t replacementIndex);
    std::int64_t applyMultiCharacter(std::string& text) const;
    // False, with `text` untouched, when the text is not valid UTF-8.
    bool applySingleCharacter(std::string& text, std::int64_t& count) const;
    const std::string* lookupCodePoint(char32_t codePoint) const;

    std::array<std::optional<std::string>, 128> m_asciiByteLookup;
    bool m_hasAsciiEntries = false;
    CharacterMap m_nonAsciiCharMap;
    std::vector<TranslationEntry> m_sortedMultiCharEntries;
    bool m_isEmpty = true;
    std::int64_t m_count = 0;

    // Fast path of the single-character pass: every code point canonically
    // equivalent to a one-code-point key maps to an index of m_replacements.
    std::unordered_map<char32_t, std::uint32_t> m_codePointLookup;
    // One bit per BMP code point that m_codePointLookup holds, so that most
    // non-ASCII characters are passed over without a hash lookup.
    std::vector<std::uint64_t> m_bmpKeyBits;
    bool m_hasSupplementaryKeys = false;
    std::vector<std::string> m_replacements;
    std::vector<MultiEntry> m_multi;  // parallel to m_sortedMultiCharEntries
};

}  // namespace tess
