#include "analysis/TransliterationCaches.h"

#include "text/Text.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <mutex>

namespace tess {

namespace {

// Latin transliteration of any script, and removal of combining marks.
constexpr const char* kToLatinId = "Any-Latin";
constexpr const char* kStripDiacriticsRules = "::NFD; ::[:Nonspacing Mark:] Remove; ::NFC;";

struct Prototypes {
    std::mutex mutex;
    std::unique_ptr<icu::Transliterator> toLatin;
    std::unique_ptr<icu::Transliterator> stripDiacritics;
};

Prototypes& prototypes()
{
    static Prototypes shared;
    return shared;
}

// Clones the shared prototypes (built once). Cloning is cheap next to
// building a transliterator from its rules; the mutex keeps the prototypes
// from being read by two threads at once. A transliterator that ICU cannot
// build stays null: its step then gives its input back.
void clonePrototypes(std::unique_ptr<icu::Transliterator>& toLatin, std::unique_ptr<icu::Transliterator>& strip)
{
    Prototypes& shared = prototypes();
    const std::lock_guard<std::mutex> lock(shared.mutex);
    if (!shared.toLatin) {
        UErrorCode status = U_ZERO_ERROR;
        shared.toLatin.reset(icu::Transliterator::createInstance(kToLatinId, UTRANS_FORWARD, status));
        if (U_FAILURE(status)) {
            shared.toLatin.reset();
        }
        status = U_ZERO_ERROR;
        UParseError parseError;
        shared.stripDiacritics.reset(icu::Transliterator::createFromRules("TessalineStripDiacritics",
            icu::UnicodeString::fromUTF8(kStripDiacriticsRules), UTRANS_FORWARD, parseError, status));
        if (U_FAILURE(status)) {
            shared.stripDiacritics.reset();
        }
    }
    if (shared.toLatin) {
        toLatin.reset(shared.toLatin->clone());
    }
    if (shared.stripDiacritics) {
        strip.reset(shared.stripDiacritics->clone());
    }
}

}  // namespace

TransliterationCaches::TransliterationCaches() = default;
TransliterationCaches::~TransliterationCaches() = default;

void TransliterationCaches::ensureTransliterators()
{
    if (!m_cloned) {
        clonePrototypes(m_toLatin, m_stripDiacritics);
        m_cloned = true;
    }
}

std::string TransliterationCaches::transform(icu::Transliterator& transliterator, std::string_view input)
{
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(input.data(), static_cast<int32_t>(input.size())));
    transliterator.transliterate(text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

const std::string& TransliterationCaches::latin(std::string_view component)
{
    if (const auto found = m_latinCache.find(component); found != m_latinCache.end()) {
        return found->second;
    }
    ensureTransliterators();
    std::string result = m_toLatin ? transform(*m_toLatin, component) : std::string();
    if (result.empty()) {
        result.assign(component);
    }
    return m_latinCache.emplace(std::string(component), std::move(result)).first->second;
}

const std::string& TransliterationCaches::stripped(std::string_view latinText)
{
    if (const auto found = m_strippedCache.find(latinText); found != m_strippedCache.end()) {
        return found->second;
    }
    ensureTransliterators();
    std::string result = m_stripDiacritics ? transform(*m_stripDiacritics, latinText) : std::string();
    if (result.empty()) {
        result.assign(latinText);
    }
    return m_strippedCache.emplace(std::string(latinText), std::move(result)).first->second;
}

std::string TransliterationCaches::toAscii(std::string_view component)
{
    if (component.empty() || text::isAscii(component)) {
        return std::string(component);
    }
    const std::string& plain = stripped(latin(component));
    std::string ascii;
    ascii.reserve(plain.size());
    for (const char c : plain) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            continue;
        }
        // A transliteration must never add a path level or end the name.
        ascii.push_back(c == '/' || c == '\0' ? '_' : c);
    }
    return ascii;
}

}  // namespace tess
