#include "rules/TranslationTable.h"

#include "core/HexDigit.h"

#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"
#include "coding/ValueDecoder.h"
#include "rules/RuleTypes.h"
#include "text/Text.h"

#include <array>
#include <cstdio>
#include <unicode/uchar.h>

namespace tess {

namespace {

std::string utf8Of(char32_t cp)
{
    std::string out;
    text::appendUtf8(out, cp);
    return out;
}

TranslationEntry entryFor(char32_t cp, std::string to)
{
    return TranslationEntry {utf8Of(cp), std::move(to)};
}

bool isScalarValue(std::uint64_t value)
{
    return value < 0x110000 && !(value >= 0xD800 && value <= 0xDFFF);
}

// Zs or U+0009.
bool isTrimmedWhitespace(char32_t cp)
{
    return cp == U'\t' || u_charType(static_cast<UChar32>(cp)) == U_SPACE_SEPARATOR;
}

std::u32string trimWhitespace(std::u32string_view cps)
{
    std::size_t begin = 0;
    std::size_t end = cps.size();
    while (begin < end && isTrimmedWhitespace(cps[begin])) {
        ++begin;
    }
    while (end > begin && isTrimmedWhitespace(cps[end - 1])) {
        --end;
    }
    return std::u32string(cps.substr(begin, end - begin));
}

// An unsigned 32-bit hexadecimal number with an optional leading "+" (a
// leading "-" only before zero).
std::optional<std::uint32_t> parseHexUInt32(std::u32string_view digits)
{
    bool negative = false;
    if (!digits.empty() && (digits.front() == U'+' || digits.front() == U'-')) {
        negative = digits.front() == U'-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char32_t c : digits) {
        const int digit = hexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFULL) {
            return std::nullopt;
        }
    }
    if (negative && value != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::vector<TranslationEntry> TranslationTable::mergeEntries(const std::vector<TranslationEntry>& base,
    const std::vector<TranslationEntry>& priority)
{
    CanonicalStringSet covered;
    for (const TranslationEntry& entry : priority) {
        covered.insert(entry.from);
    }
    std::vector<TranslationEntry> out = priority;
    out.reserve(priority.size() + base.size());
    for (const TranslationEntry& entry : base) {
        if (covered.find(entry.from) == covered.end()) {
            out.push_back(entry);
        }
    }
    return out;
}

const std::vector<TranslationEntry>& TranslationTable::controlCharacterEntries()
{
    static const std::vector<TranslationEntry> kEntries = [] {
        std::vector<TranslationEntry> out;
        for (char32_t cp = 0x00; cp <= 0x1F; ++cp) {
            out.push_back(entryFor(cp, ""));
        }
        out.push_back(entryFor(0x7F, ""));
        for (char32_t cp = 0x80; cp <= 0x9F; ++cp) {
            out.push_back(entryFor(cp, ""));
        }
        return out;
    }();
    return kEntries;
}

const std::vector<TranslationEntry>& TranslationTable::deceptiveWhitespaceEntries()
{
    static const std::vector<TranslationEntry> kEntries = [] {
        std::vector<TranslationEntry> out;
        out.push_back(entryFor(0x00A0, " "));
        out.push_back(entryFor(0x1680, " "));
        for (char32_t cp = 0x2000; cp <= 0x200A; ++cp) {
            out.push_back(entryFor(cp, " "));
        }
        out.push_back(entryFor(0x202F, " "));
        out.push_back(entryFor(0x205F, " "));
        out.push_back(entryFor(0x3000, " "));
        return out;
    }();
    return kEntries;
}

const std::vector<TranslationEntry>& TranslationTable::zeroWidthCharacterEntries()
{
    static const std::vector<TranslationEntry> kEntries = [] {
        std::vector<TranslationEntry> out;
        out.push_back(entryFor(0x00AD, ""));
        for (char32_t cp = 0x200B; cp <= 0x200F; ++cp) {
            out.push_back(entryFor(cp, ""));
        }
        for (char32_t cp = 0x2028; cp <= 0x202E; ++cp) {
            out.push_back(entryFor(cp, ""));
        }
        out.push_back(entryFor(0x2060, ""));
        out.push_back(entryFor(0xFEFF, ""));
        return out;
    }();
    return kEntries;
}

const std::vector<TranslationEntry>& TranslationTable::shellSafeEntries()
{
    static const std::vector<TranslationEntry> kEntries = [] {
        constexpr std::string_view kSafe = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-";
        std::vector<TranslationEntry> out;
        for (char c = 0x20; c <= 0x7E; ++c) {
            if (kSafe.find(c) == std::string_view::npos) {
                out.push_back(TranslationEntry {std::string(1, c), "_"});
            }
        }
        return out;
    }();
    return kEntries;
}

std::vector<TranslationEntry> TranslationTable::copyEntries(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::vector<TranslationEntry> out;
    out.reserve(pairs.size());
    for (const auto& [from, to] : pairs) {
        out.push_back(TranslationEntry {from, to});
    }
    return out;
}

std::string TranslationTable::controlCharacterName(char32_t codePoint)
{
    static constexpr std::array<const char*, 33> kNames {
        "[NUL]", "[SOH]", "[STX]", "[ETX]", "[EOT]", "[ENQ]", "[ACK]", "[BEL]",
        "[BS]", "[TAB]", "[LF]", "[VT]", "[FF]", "[CR]", "[SO]", "[SI]",
        "[DLE]", "[DC1]", "[DC2]", "[DC3]", "[DC4]", "[NAK]", "[SYN]", "[ETB]",
        "[CAN]", "[EM]", "[SUB]", "[ESC]", "[FS]", "[GS]", "[RS]", "[US]",
        "[SPACE]"};
    if (codePoint < kNames.size()) {
        return kNames[codePoint];
    }
    if (codePoint == 0x7F) {
        return "[DEL]";
    }
    if (codePoint >= 0x80 && codePoint <= 0x9F) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "[C1:%02X]", static_cast<unsigned>(codePoint));
        return buffer;
    }
    return utf8Of(isScalarValue(codePoint) ? codePoint : char32_t(0xFFFD));
}

std::string TranslationTable::scalarDisplayNames(std::string_view value)
{
    std::string out;
    text::forEachCodePoint(value, [&out](char32_t cp) { out += controlCharacterName(cp); });
    return out;
}

std::string TranslationTable::displayString(std::string_view value)
{
    const std::u32string cps = text::toCodePoints(value);
    // One character of one code point is named; a character of several code
    // points (a letter with a combining mark, a flag) is shown whole.
    if (cps.size() == 1) {
        return controlCharacterName(cps.front());
    }
    for (char32_t cp : cps) {
        if (cp < 33 || (cp >= 127 && cp <= 159)) {
            return scalarDisplayNames(value);
        }
    }
    return text::toValidUtf8(value);
}

std::optional<std::string> TranslationTable::parseCharacterInput(std::string_view input)
{
    const std::u32string cps = text::toCodePoints(input);
    std::u32string result;
    std::size_t pieces = 0;
    std::size_t start = 0;
    while (start <= cps.size()) {
        std::size_t end = cps.find(U' ', start);
        if (end == std::u32string::npos) {
            end = cps.size();
        }
        if (end > start) {
            ++pieces;
            const std::u32string piece = trimWhitespace(std::u32string_view(cps).substr(start, end - start));
            if (piece.size() < 2 || (piece[0] != U'U' && piece[0] != U'u') || piece[1] != U'+') {
                return std::nullopt;
            }
            const std::optional<std::uint32_t> number = parseHexUInt32(std::u32string_view(piece).substr(2));
            if (!number || !isScalarValue(*number)) {
                return std::nullopt;
            }
            result += static_cast<char32_t>(*number);
        }
        start = end + 1;
    }
    if (pieces == 0 || result.empty()) {
        return std::nullopt;
    }
    return text::fromCodePoints(result);
}

PlistValue TranslationTable::encode() const
{
    PlistValue::Array coded;
    coded.reserve(entries.size());
    for (const TranslationEntry& entry : entries) {
        coded.push_back(entry.encode());
    }
    KeyedEncoder out;
    out.encode("entries", PlistValue(std::move(coded)));
    return out.take();
}

Result<TranslationTable> TranslationTable::decode(const PlistValue& value)
{
    auto in = KeyedDecoder::container(value);
    if (!in.ok()) {
        return in.error();
    }
    auto entries = in->decode<std::vector<TranslationEntry>>("entries", [](const PlistValue& v) {
        return ValueDecoder::decodeArrayOf<TranslationEntry>(v, TranslationEntry::decode);
    });
    if (!entries.ok()) {
        return entries.error();
    }
    return TranslationTable {std::move(entries).value()};
}

}  // namespace tess
