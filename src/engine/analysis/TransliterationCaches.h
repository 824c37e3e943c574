#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Transliterator;
U_NAMESPACE_END

namespace tess {

// The ASCII conversion of name components for one serial run or one parallel
// chunk of the analyser: Latin transliteration, then removal of diacritics,
// each memoised, then removal of every code point of U+0080 or above.
//
// ICU transliterators are not thread-safe: each instance owns its own pair,
// cloned lazily (on the first non-ASCII component) from shared prototypes.
// An instance is used by one thread at a time and never shared.
class TransliterationCaches {
public:
    TransliterationCaches();
    ~TransliterationCaches();
    TransliterationCaches(const TransliterationCaches&) = delete;
    TransliterationCaches& operator=(const TransliterationCaches&) = delete;

    // The ASCII form of one component (valid UTF-8). A component without a
    // byte of 0x80 or above comes back unchanged; the result may be shorter
    // than the input, or empty. A "/" or NUL the transforms produce becomes
    // "_".
    std::string toAscii(std::string_view component);

    // The memoised transforms (exposed for tests): Latin transliteration of a
    // component, and diacritic removal of a Latin text. A transform that
    // yields nothing gives its input back.
    const std::string& latin(std::string_view component);
    const std::string& stripped(std::string_view latinText);

    std::size_t latinCacheSize() const { return m_latinCache.size(); }
    std::size_t strippedCacheSize() const { return m_strippedCache.size(); }

private:
    struct StringHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view> {}(s); }
    };
    using Cache = std::unordered_map<std::string, std::string, StringHash, std::equal_to<>>;

    void ensureTransliterators();
    static std::string transform(icu::Transliterator& transliterator, std::string_view input);

    Cache m_latinCache;
    Cache m_strippedCache;
    std::unique_ptr<icu::Transliterator> m_toLatin;
    std::unique_ptr<icu::Transliterator> m_stripDiacritics;
    bool m_cloned = false;
};

}  // namespace tess
