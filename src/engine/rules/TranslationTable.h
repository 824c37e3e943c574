#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"
#include "rules/TranslationEntry.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tess {

// An ordered list of substitutions, plus the built-in lists and the helpers
// of the table editor.
struct TranslationTable {
    std::vector<TranslationEntry> entries;

    // Every priority entry in order (duplicates kept), then every base entry
    // in order whose `from` no priority entry has.
    static std::vector<TranslationEntry> mergeEntries(const std::vector<TranslationEntry>& base,
        const std::vector<TranslationEntry>& priority);

    // Built-in lists, built on first use and shared (thread-safe).
    // U+0000-U+001F, U+007F, U+0080-U+009F, each removed (65 entries).
    static const std::vector<TranslationEntry>& controlCharacterEntries();
    // Sixteen deceptive spaces, each to " ".
    static const std::vector<TranslationEntry>& deceptiveWhitespaceEntries();
    // Fifteen invisible characters, each removed.
    static const std::vector<TranslationEntry>& zeroWidthCharacterEntries();
    // The 30 printable ASCII characters outside [A-Za-z0-9._-], each to "_".
    static const std::vector<TranslationEntry>& shellSafeEntries();

    // (from, to) pairs to entries, same order.
    static std::vector<TranslationEntry> copyEntries(const std::vector<std::pair<std::string, std::string>>& pairs);

    // "[NUL]" ... "[US]", "[SPACE]", "[DEL]", "[C1:XX]" for U+0080-U+009F;
    // any other code point as itself (UTF-8).
    static std::string controlCharacterName(char32_t codePoint);
    // controlCharacterName of every code point, concatenated.
    static std::string scalarDisplayNames(std::string_view value);
    // How one cell value (a `from` or `to`) is shown in the table editor.
    static std::string displayString(std::string_view value);
    // Reads space-separated "U+XXXX" / "u+xxxx" code points; nothing when the
    // input is not such a list.
    static std::optional<std::string> parseCharacterInput(std::string_view input);

    // Keyed container {"entries": [entry...]}, required.
    PlistValue encode() const;
    static Result<TranslationTable> decode(const PlistValue& value);

    friend bool operator==(const TranslationTable&, const TranslationTable&) = default;
};

}  // namespace tess
