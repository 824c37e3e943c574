#include "rules/PreparedTranslationTable.h"

#include <algorithm>
#include <unicode/caniter.h>
#include <unicode/unistr.h>

namespace tess {

namespace {

// A replacement never introduces a path separator or a NUL byte.
std::string sanitizedReplacement(std::string_view to)
{
    std::string out = text::toValidUtf8(to);
    std::replace(out.begin(), out.end(), '/', '_');
    std::replace(out.begin(), out.end(), '\0', '_');
    return out;
}

std::vector<std::string> nfcGraphemes(std::string_view s)
{
    std::vector<std::string> out;
    text::forEachGrapheme(s, [&out](std::string_view g) {
        out.push_back(text::isAscii(g) ? std::string(g) : text::nfc(g));
        return true;
    });
    return out;
}

std::size_t sequenceLength(unsigned char lead)
{
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        return 4;
    }
    return 1;
}

// The code point of one well-formed UTF-8 sequence, or nothing.
std::optional<char32_t> decodeSequence(std::string_view seq)
{
    const auto byte = [&seq](std::size_t i) { return static_cast<unsigned char>(seq[i]); };
    if (seq.empty() || sequenceLength(byte(0)) != seq.size()) {
        return std::nullopt;  // a continuation byte, or a sequence cut short
    }
    char32_t cp = 0;
    char32_t minimum = 0;
    switch (seq.size()) {
    case 2:
        cp = byte(0) & 0x1F;
        minimum = 0x80;
        break;
    case 3:
        cp = byte(0) & 0x0F;
        minimum = 0x800;
        break;
    case 4:
        cp = byte(0) & 0x07;
        minimum = 0x10000;
        break;
    default:
        return std::nullopt;
    }
    for (std::size_t i = 1; i < seq.size(); ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return cp;
}

// The longest canonical decomposition of one code point (U+1F82 decomposes
// into four); it bounds the equivalents worth enumerating for a key.
constexpr std::size_t kMaxSingleCodePointDecomposition = 4;

bool isSingleAsciiCodePoint(std::string_view s)
{
    return s.size() == 1 && static_cast<unsigned char>(s[0]) < 0x80;
}

// Plain byte replacement of every non-overlapping occurrence, left to right.
std::size_t replaceAllBytes(std::string& s, std::string_view from, std::string_view to)
{
    std::size_t pos = s.find(from);
    if (pos == std::string::npos) {
        return 0;
    }
    std::string out;
    out.reserve(s.size());
    std::size_t last = 0;
    std::size_t found = 0;
    while (pos != std::string::npos) {
        out.append(s, last, pos - last);
        out.append(to);
        ++found;
        last = pos + from.size();
        pos = s.find(from, last);
    }
    out.append(s, last, std::string::npos);
    s = std::move(out);
    return found;
}

}  // namespace

PreparedTranslationTable::PreparedTranslationTable() = default;

PreparedTranslationTable::PreparedTranslationTable(const std::vector<TranslationEntry>& entries)
    : m_isEmpty(entries.empty())
    , m_count(static_cast<std::int64_t>(entries.size()))
{
    std::vector<std::pair<std::int64_t, TranslationEntry>> multi;
    for (const TranslationEntry& entry : entries) {
        if (entry.from.empty()) {
            continue;
        }
        const std::string from = text::toValidUtf8(entry.from);
        const std::int64_t characters = static_cast<std::int64_t>(text::graphemeCount(from));
        if (characters > 1) {
            multi.emplace_back(characters, TranslationEntry {from, sanitizedReplacement(entry.to)});
        } else {
            addSingle(entry, from);
        }
    }
    std::stable_sort(multi.begin(), multi.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [characters, entry] : multi) {
        MultiEntry prepared;
        prepared.fromGraphemes = nfcGraphemes(entry.from);
        for (const std::string& g : prepared.fromGraphemes) {
            prepared.fromNfc += g;
        }
        prepared.fromIsAscii = text::isAscii(prepared.fromNfc) && prepared.fromNfc.find('\r') == std::string::npos;
        prepared.fromCount = characters;
        prepared.toCount = static_cast<std::int64_t>(text::graphemeCount(entry.to));
        m_multi.push_back(std::move(prepared));
        m_sortedMultiCharEntries.push_back(std::move(entry));
    }
}

void PreparedTranslationTable::addSingle(const TranslationEntry& entry, std::string_view from)
{
    if (isSingleAsciiCodePoint(from)) {
        std::optional<std::string>& slot = m_asciiByteLookup[static_cast<unsigned char>(from[0])];
        if (!slot) {
            slot = sanitizedReplacement(entry.to);
            m_hasAsciiEntries = true;
        }
        return;
    }
    auto [it, inserted] = m_nonAsciiCharMap.emplace(std::string(from), sanitizedReplacement(entry.to));
    if (!inserted) {
        return;
    }
    m_replacements.push_back(it->second);
    addCodePointKeys(from, static_cast<std::uint32_t>(m_replacements.size() - 1));
}

void PreparedTranslationTable::addCodePointKeys(std::string_view from, std::uint32_t replacementIndex)
{
    // The byte pass looks at one code point at a time: a key matches every
    // non-ASCII code point canonically equivalent to it. Such a code point
    // need not be the key's NFC form: a composition exclusion (U+0958) or a
    // non-starter (U+0344) stays decomposed under NFC, yet the code point
    // itself is still the key's equivalent.
    const std::u32string decomposed = text::toCodePoints(text::nfd(from));
    if (decomposed.empty() || decomposed.size() > kMaxSingleCodePointDecomposition) {
        return;  // no single code point decomposes that far
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString key = icu::UnicodeString::fromUTF8(icu::StringPiece(from.data(), static_cast<std::int32_t>(from.size())));
    icu::CanonicalIterator iterator(key, status);
    if (U_FAILURE(status)) {
        if (decomposed.size() == 1) {
            addCodePointKey(decomposed[0], replacementIndex);
        }
        return;
    }
    for (icu::UnicodeString s = iterator.next(); !s.isBogus(); s = iterator.next()) {
        if (s.countChar32() != 1) {
            continue;
        }
        addCodePointKey(static_cast<char32_t>(s.char32At(0)), replacementIndex);
    }
}

void PreparedTranslationTable::addCodePointKey(char32_t codePoint, std::uint32_t replacementIndex)
{
    if (codePoint < 0x80 || !m_codePointLookup.emplace(codePoint, replacementIndex).second) {
        return;
    }
    if (codePoint < 0x10000) {
        if (m_bmpKeyBits.empty()) {
            m_bmpKeyBits.assign(0x10000 / 64, 0);
        }
        m_bmpKeyBits[codePoint / 64] |= std::uint64_t(1) << (codePoint % 64);
    } else {
        m_hasSupplementaryKeys = true;
    }
}

PreparedTranslationTable::Applied PreparedTranslationTable::apply(std::string_view input) const
{
    Applied out {std::string(input), 0};
    out.count = applyInPlace(out.text);
    return out;
}

std::int64_t PreparedTranslationTable::applyInPlace(std::string& text) const
{
    if (m_isEmpty) {
        return 0;
    }
    // Text that is not valid UTF-8 is read as text::toValidUtf8 reads it.
    std::int64_t count = 0;
    if (!m_multi.empty()) {
        if (!text::isAscii(text) && !text::isValidUtf8(text)) {
            text = text::toValidUtf8(text);
        }
        count += applyMultiCharacter(text);
    }
    // Keys that can never match one code point (flags, combining sequences)
    // leave nothing for the byte pass to do.
    if (!m_hasAsciiEntries && m_codePointLookup.empty()) {
        return count;
    }
    if (!applySingleCharacter(text, count)) {
        text = text::toValidUtf8(text);
        applySingleCharacter(text, count);
    }
    return count;
}

std::int64_t PreparedTranslationTable::applyMultiCharacter(std::string& text) const
{
    std::int64_t count = 0;
    std::optional<std::string> canonicalText;  // NFC of the text, until it changes
    // One byte per character (no CR, which joins LF into one character);
    // worked out again only when the text changes.
    const auto oneBytePerCharacter = [](const std::string& s) { return text::isAscii(s) && s.find('\r') == std::string::npos; };
    bool asciiText = oneBytePerCharacter(text);
    for (std::size_t e = 0; e < m_multi.size(); ++e) {
        const MultiEntry& entry = m_multi[e];
        const std::string& to = m_sortedMultiCharEntries[e].to;
        if (!asciiText) {
            // Every match is a byte-wise occurrence of the canonical `from`
            // in the canonical text; without one there is nothing to look for.
            if (!canonicalText) {
                canonicalText = text::nfc(text);
            }
            if (canonicalText->find(entry.fromNfc) == std::string::npos) {
                continue;
            }
        }
        std::string replaced;
        std::size_t occurrences = 0;
        if (asciiText) {
            if (!entry.fromIsAscii || text.find(entry.fromNfc) == std::string::npos) {
                continue;  // (an ASCII text holds no non-ASCII character)
            }
            replaced = text;
            occurrences = replaceAllBytes(replaced, entry.fromNfc, to);
        } else {
            // Character by character, comparing canonical forms; text that
            // does not match keeps its own bytes.
            std::vector<std::string_view> graphemes;
            std::vector<std::string> canonical;
            text::forEachGrapheme(text, [&](std::string_view g) {
                graphemes.push_back(g);
                canonical.push_back(text::isAscii(g) ? std::string(g) : text::nfc(g));
                return true;
            });
            const std::size_t width = entry.fromGraphemes.size();
            std::size_t i = 0;
            while (i < graphemes.size()) {
                if (i + width <= graphemes.size()
                    && std::equal(entry.fromGraphemes.begin(), entry.fromGraphemes.end(), canonical.begin() + static_cast<std::ptrdiff_t>(i))) {
                    replaced += to;
                    ++occurrences;
                    i += width;
                } else {
                    replaced += graphemes[i];
                    ++i;
                }
            }
        }
        if (occurrences == 0 || text::canonicallyEqual(replaced, text)) {
            continue;
        }
        const std::int64_t removed = static_cast<std::int64_t>(text::graphemeCount(text)) - static_cast<std::int64_t>(text::graphemeCount(replaced));
        const std::int64_t divisor = std::max<std::int64_t>(entry.fromCount - entry.toCount + 1, 1);
        count += std::max<std::int64_t>(1, (removed + entry.toCount - 1) / divisor);
        text = std::move(replaced);
        canonicalText.reset();
        asciiText = oneBytePerCharacter(text);
    }
    return count;
}

const std::string* PreparedTranslationTable::lookupCodePoint(char32_t codePoint) const
{
    if (codePoint < 0x10000) {
        if (m_bmpKeyBits.empty() || (m_bmpKeyBits[codePoint / 64] & (std::uint64_t(1) << (codePoint % 64))) == 0) {
            return nullptr;
        }
    } else if (!m_hasSupplementaryKeys) {
        return nullptr;
    }
    auto it = m_codePointLookup.find(codePoint);
    return it == m_codePointLookup.end() ? nullptr : &m_replacements[it->second];
}

bool PreparedTranslationTable::applySingleCharacter(std::string& text, std::int64_t& totalCount) const
{
    const std::size_t n = text.size();
    std::string out;
    bool changed = false;
    std::int64_t count = 0;
    const auto startOutput = [&](std::size_t upTo) {
        out.reserve(n + 16);
        out.append(text, 0, upTo);
        changed = true;
    };
    std::size_t i = 0;
    while (i < n) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            const std::optional<std::string>& slot = m_asciiByteLookup[byte];
            if (slot) {
                if (!changed) {
                    startOutput(i);
                }
                out += *slot;
                ++count;
            } else if (changed) {
                out += static_cast<char>(byte);
            }
            ++i;
            continue;
        }
        const std::size_t length = std::min(sequenceLength(byte), n - i);
        const std::string_view sequence(text.data() + i, length);
        const std::optional<char32_t> cp = decodeSequence(sequence);
        if (!cp) {
            return false;
        }
        const std::string* replacement = lookupCodePoint(*cp);
        if (replacement != nullptr) {
            if (!changed) {
                startOutput(i);
            }
            out += *replacement;
            ++count;
        } else if (changed) {
            out.append(sequence);
        }
        i += length;
    }
    if (changed) {
        text = std::move(out);
    }
    totalCount += count;
    return true;
}

}  // namespace tess
