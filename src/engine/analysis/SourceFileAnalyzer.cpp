#include "analysis/SourceFileAnalyzer.h"

#include "core/FormatSeconds.h"

#include "analysis/BackgroundList.h"
#include "analysis/CrossItemPasses.h"
#include "core/Concurrency.h"
#include "log/AppLogger.h"
#include "rules/FilesystemPreset.h"
#include "rules/RuleTypes.h"
#include "rules/TranslationTable.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <utility>

#define ANALYZER_LOG_INFO(message) emitLog((message), "INFO", __FILE__, __LINE__)
#define ANALYZER_LOG_WARN(message) emitLog((message), "WARN", __FILE__, __LINE__)

namespace tess {

namespace {

constexpr std::size_t kItemsPerChunk = 500;
constexpr std::size_t kCancelPollInterval = 1000;
constexpr std::string_view kReservedPrefix = "file_";
constexpr std::string_view kEmptyComponentStandIn = "_";
constexpr int kMaxEdgeRounds = 16;

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// An absent callback never cancels.
bool cancelled(const std::function<bool()>& isCancelled)
{
    return isCancelled && isCancelled();
}

bool isAsciiByte(char c)
{
    return static_cast<unsigned char>(c) < 0x80;
}

// Every byte is one character: ASCII without CR (CR LF is one character).
bool bytesAreCharacters(std::string_view s)
{
    for (const char c : s) {
        if (!isAsciiByte(c) || c == '\r') {
            return false;
        }
    }
    return true;
}

// Calls fn(component) for each text between "/" (empty ones included).
template <class Fn>
void forEachComponent(std::string_view path, Fn&& fn)
{
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            fn(path.substr(start));
            return;
        }
        fn(path.substr(start, slash - start));
        start = slash + 1;
    }
}

// Rebuilds a path in `out`: appends "/" before every component but the first,
// then calls fn(component), which appends what the component becomes.
template <class Fn>
void appendEachComponent(std::string& out, std::string_view path, Fn&& fn)
{
    bool first = true;
    forEachComponent(path, [&](std::string_view component) {
        if (!first) {
            out.push_back('/');
        }
        first = false;
        fn(component);
    });
}

std::string_view lastComponent(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The path up to its last "/" (exclusive); empty without "/".
std::string_view parentPart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string joinPrefixAndName(std::string_view prefix, std::string_view name)
{
    std::string out;
    out.reserve(prefix.size() + 1 + name.size());
    if (!prefix.empty()) {
        out.append(prefix);
        out.push_back('/');
    }
    out.append(name);
    return out;
}

std::string joinComponents(const std::vector<std::string>& components)
{
    std::string out;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) {
            out.push_back('/');
        }
        out.append(components[i]);
    }
    return out;
}

std::vector<std::string> splitComponents(std::string_view path)
{
    std::vector<std::string> components;
    forEachComponent(path, [&](std::string_view component) { components.emplace_back(component); });
    return components;
}

std::int64_t depthOf(std::string_view path)
{
    std::int64_t depth = 0;
    forEachComponent(path, [&](std::string_view component) {
        if (!component.empty()) {
            ++depth;
        }
    });
    return depth;
}

std::int64_t byteCount(std::string_view s)
{
    return static_cast<std::int64_t>(s.size());
}

bool isDotName(std::string_view name)
{
    return name == "." || name == "..";
}

// Length of the well-formed UTF-8 sequence that `s` starts with; 0 when its
// first byte starts none.
std::size_t sequenceLengthAt(std::string_view s)
{
    const auto lead = static_cast<unsigned char>(s.front());
    std::size_t length = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 0 || length > s.size() || !text::isValidUtf8(s.substr(0, length))) {
        return 0;
    }
    return length;
}

// A text as UDF counts it: code points, UTF-16 units, and whether one code
// point lies above U+00FF (then every unit takes two bytes). A byte that
// starts no valid sequence counts as one narrow character.
struct UdfCount {
    std::int64_t codePoints = 0;
    std::int64_t units = 0;
    bool wide = false;

    void add(std::string_view s)
    {
        std::size_t i = 0;
        while (i < s.size()) {
            const auto lead = static_cast<unsigned char>(s[i]);
            const std::size_t length = lead < 0x80 ? 1 : sequenceLengthAt(s.substr(i));
            ++codePoints;
            if (length <= 1) {
                ++units;
                ++i;
                continue;
            }
            char32_t codePoint = lead & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) {
                codePoint = (codePoint << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
            }
            units += codePoint > 0xFFFF ? 2 : 1;
            wide = wide || codePoint > 0xFF;
            i += length;
        }
    }
    std::int64_t bytes() const { return wide ? 2 * units : codePoints; }
    UdfCount operator+(const UdfCount& other) const
    {
        return {codePoints + other.codePoints, units + other.units, wide || other.wide};
    }
};

// Walks the characters of a text, handing fn(character, byteOffset) each
// one; fn returns false to stop. Every character handed out is a view into
// `s` itself. Bytes stand for characters where they can. In a text that is
// not valid UTF-8, each byte of an invalid sequence is one character (as it
// reads in Windows-1252) and the valid runs between are walked by grapheme.
template <class Fn>
void forEachCharacter(std::string_view s, Fn&& fn)
{
    if (bytesAreCharacters(s)) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (!fn(s.substr(i, 1), i)) {
                return;
            }
        }
        return;
    }
    // One small capture, so that the callback never needs the heap.
    struct State {
        std::string_view text;
        Fn* fn;
        std::size_t offset;
        bool more;
    } state {s, &fn, 0, true};
    const auto walkValid = [&state](std::size_t begin, std::size_t end) {
        state.offset = begin;
        text::forEachGrapheme(state.text.substr(begin, end - begin), [&state](std::string_view character) {
            state.more = (*state.fn)(state.text.substr(state.offset, character.size()), state.offset);
            state.offset += character.size();
            return state.more;
        });
        return state.more;
    };
    if (text::isValidUtf8(s)) {
        walkValid(0, s.size());
        return;
    }
    std::size_t runStart = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t length = sequenceLengthAt(s.substr(i));
        if (length > 0) {
            i += length;
            continue;
        }
        if (!walkValid(runStart, i) || !fn(s.substr(i, 1), i)) {
            return;
        }
        ++i;
        runStart = i;
    }
    walkValid(runStart, s.size());
}

// Swift's Character.isNumber: the first scalar has a numeric type.
bool isNumberCharacter(std::string_view character)
{
    if (character.empty()) {
        return false;
    }
    if (character.size() == 1) {
        return character[0] >= '0' && character[0] <= '9';
    }
    char32_t first = 0;
    bool seen = false;
    text::forEachCodePoint(character, [&](char32_t cp) {
        if (!seen) {
            first = cp;
            seen = true;
        }
    });
    return seen && u_getIntPropertyValue(static_cast<UChar32>(first), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
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

// The canonical form of one character for membership tests.
std::string characterKey(std::string_view character)
{
    if (character.size() == 1 && isAsciiByte(character[0])) {
        return std::string(character);
    }
    return text::nfc(character);
}

bool containsCanonically(const std::vector<std::string>& list, std::string_view value)
{
    return std::any_of(list.begin(), list.end(), [&](const std::string& member) { return text::canonicallyEqual(member, value); });
}

// Where the first k elements of the stable merge of the sorted ranges a
// (na elements) and b (nb elements) split: how many of them come from a. An
// element of a goes before an element of b unless the b element is less (as
// std::merge takes them).
template <class It, class Less>
std::size_t mergeSplit(It a, std::size_t na, It b, std::size_t nb, std::size_t k, const Less& less)
{
    std::size_t lo = k > nb ? k - nb : 0;
    std::size_t hi = std::min(k, na);
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (!less(b[static_cast<std::ptrdiff_t>(k - mid - 1)], a[static_cast<std::ptrdiff_t>(mid)])) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// Stable sort of a large list: parts sorted side by side, then merged
// pairwise round by round, each merge cut into pieces that are merged side by
// side (each merge takes from the earlier part on ties, so the whole stays
// stable).
template <class T, class Less>
void parallelStableSort(std::vector<T>& values, const Less& less)
{
    constexpr std::size_t kMinPartSize = 16384;
    const std::size_t processors = processorCount();
    const std::size_t parts = std::min(processors, values.size() / kMinPartSize);
    if (parts < 2) {
        std::stable_sort(values.begin(), values.end(), less);
        return;
    }
    const std::size_t n = values.size();
    std::vector<std::size_t> bounds;
    for (std::size_t part = 0; part <= parts; ++part) {
        bounds.push_back(n * part / parts);
    }
    const auto at = [](std::vector<T>& list, std::size_t offset) { return list.begin() + static_cast<std::ptrdiff_t>(offset); };
    parallelFor(parts, [&](std::size_t part) { std::stable_sort(at(values, bounds[part]), at(values, bounds[part + 1]), less); });
    std::vector<T> buffer(n);
    std::vector<T>* from = &values;
    std::vector<T>* to = &buffer;
    while (bounds.size() > 2) {
        // Pair p merges parts 2p and 2p + 1 (a last part without partner is
        // moved over as it is).
        const std::size_t pairs = bounds.size() / 2;
        const std::size_t piecesPerPair = std::max<std::size_t>(1, processors / pairs);
        parallelFor(pairs * piecesPerPair, [&](std::size_t task) {
            const std::size_t pair = task / piecesPerPair;
            const std::size_t piece = task % piecesPerPair;
            const std::size_t first = bounds[2 * pair];
            const std::size_t middle = bounds[2 * pair + 1];
            const std::size_t last = 2 * pair + 2 < bounds.size() ? bounds[2 * pair + 2] : middle;
            const std::size_t total = last - first;
            const std::size_t kBegin = total * piece / piecesPerPair;
            const std::size_t kEnd = total * (piece + 1) / piecesPerPair;
            const auto a = at(*from, first);
            const auto b = at(*from, middle);
            const std::size_t na = middle - first;
            const std::size_t nb = last - middle;
            const std::size_t aBegin = mergeSplit(a, na, b, nb, kBegin, less);
            const std::size_t aEnd = mergeSplit(a, na, b, nb, kEnd, less);
            const std::size_t bBegin = kBegin - aBegin;
            const std::size_t bEnd = kEnd - aEnd;
            const auto ptr = [](auto it, std::size_t offset) { return it + static_cast<std::ptrdiff_t>(offset); };
            std::merge(std::make_move_iterator(ptr(a, aBegin)), std::make_move_iterator(ptr(a, aEnd)),
                std::make_move_iterator(ptr(b, bBegin)), std::make_move_iterator(ptr(b, bEnd)), at(*to, first + kBegin), less);
        });
        // Every other bound stays; the end (the last bound) always.
        std::vector<std::size_t> merged;
        for (std::size_t i = 0; i < bounds.size(); i += 2) {
            merged.push_back(bounds[i]);
        }
        if (bounds.size() % 2 == 0) {
            merged.push_back(n);
        }
        bounds = std::move(merged);
        std::swap(from, to);
    }
    if (from != &values) {
        values.swap(buffer);
    }
}

}  // namespace

// --- CharacterSet -------------------------------------------------------------

void SourceFileAnalyzer::CharacterSet::add(std::string_view character)
{
    const std::string key = characterKey(character);
    if (key.empty()) {
        return;
    }
    isEmpty = false;
    if (key.size() == 1 && isAsciiByte(key[0])) {
        ascii[static_cast<unsigned char>(key[0])] = true;
        return;
    }
    if (std::find(other.begin(), other.end(), key) == other.end()) {
        other.push_back(key);
    }
}

bool SourceFileAnalyzer::CharacterSet::contains(std::string_view character) const
{
    if (character.size() == 1 && isAsciiByte(character[0])) {
        return ascii[static_cast<unsigned char>(character[0])];
    }
    const std::string key = characterKey(character);
    if (key.size() == 1 && isAsciiByte(key[0])) {
        return ascii[static_cast<unsigned char>(key[0])];
    }
    return std::find(other.begin(), other.end(), key) != other.end();
}

bool SourceFileAnalyzer::CharacterSet::asciiOnly() const
{
    // U+212A, U+037E and U+1FEF are single code points whose canonical form
    // is ASCII ("K", ";", "`"): with one of those as a member, a non-ASCII
    // character can still belong to the set.
    return other.empty() && !ascii['K'] && !ascii[';'] && !ascii['`'];
}

// --- Set-up -----------------------------------------------------------------

std::vector<TranslationEntry> SourceFileAnalyzer::effectiveTranslationEntries(const TransformationSettings& settings)
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

SourceFileAnalyzer::SourceFileAnalyzer(const TransformationSettings& settings, std::int64_t destinationRootByteCount,
    LogSink logSink)
    : m_resolvedEncoding(settings.targetEncoding)
    , m_effectiveFileNameLength(settings.maxFilenameLength)
    , m_effectiveFolderNameLength(settings.maxFolderNameLength)
    , m_effectiveMaxPathDepth(settings.maxPathDepth)
    , m_effectiveMaxPathLength(settings.maxPathLength)
    , m_effectiveTranslationTable(effectiveTranslationEntries(settings))
    , m_effectiveCaseSensitive(settings.isCaseSensitive)
    , m_destinationRootByteCount(destinationRootByteCount)
    , m_cleanRepeatedSeparators(settings.cleanRepeatedSeparators)
    , m_udfNameLengths(settings.selectedFilesystem == FilesystemPreset(FilesystemPreset::udf))
    , m_repeatedSeparatorCharacters(settings.repeatedSeparatorCharacters)
    , m_smartPathShortening(settings.smartPathShortening)
    , m_logSink(std::move(logSink))
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
    for (const std::string& character : settings.stripLeadingCharacters) {
        m_stripLeadingCharacters.add(character);
    }
    for (const std::string& character : settings.stripTrailingCharacters) {
        m_stripTrailingCharacters.add(character);
    }
    const auto count = static_cast<std::int64_t>(m_repeatedSeparatorCharacters.size());
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string& character = m_repeatedSeparatorCharacters[static_cast<std::size_t>(i)];
        const std::string key = characterKey(character);
        if (key.empty()) {
            continue;
        }
        m_repeatedSeparatorSet.add(key);
        const std::int64_t rank = count - i;
        if (key.size() == 1 && isAsciiByte(key[0])) {
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

std::int64_t SourceFileAnalyzer::separatorPrecedence(std::string_view character) const
{
    return separatorRankOf(character);
}

std::int64_t SourceFileAnalyzer::separatorRankOf(std::string_view character) const
{
    if (character.size() == 1 && isAsciiByte(character[0])) {
        return m_asciiSeparatorRank[static_cast<unsigned char>(character[0])];
    }
    if (m_repeatedSeparatorSet.empty()) {
        return 0;
    }
    const std::string key = characterKey(character);
    if (key.size() == 1 && isAsciiByte(key[0])) {
        return m_asciiSeparatorRank[static_cast<unsigned char>(key[0])];
    }
    for (const auto& [member, rank] : m_otherSeparatorRank) {
        if (member == key) {
            return rank;
        }
    }
    return 0;
}

bool SourceFileAnalyzer::isReservedKey(std::string_view key) const
{
    if (m_effectiveReservedNames.empty()) {
        return false;
    }
    if (text::isAscii(key)) {
        return m_effectiveReservedNames.count(std::string(key)) > 0;
    }
    return m_effectiveReservedNames.count(text::nfc(key)) > 0;
}

std::string_view SourceFileAnalyzer::encodingCaseName(TargetEncoding encoding)
{
    switch (encoding) {
    case TargetEncoding::asciiOnly:
        return "asciiOnly";
    case TargetEncoding::utf8Basic:
        return "utf8Basic";
    case TargetEncoding::utf8Full:
        return "utf8Full";
    case TargetEncoding::utf8FullNFC:
        return "utf8FullNFC";
    }
    return "utf8Full";
}

std::string SourceFileAnalyzer::dropTrailingStripCharacters(std::string_view text) const
{
    if (m_stripTrailingCharacters.empty() || text.empty()) {
        return std::string(text);
    }
    const std::size_t runStart = trailingStripRunStart(text);
    return runStart == std::string_view::npos ? std::string(text) : std::string(text.substr(0, runStart));
}

std::size_t SourceFileAnalyzer::trailingStripRunStart(std::string_view text) const
{
    if (text.empty() || (m_stripTrailingCharacters.asciiOnly() && !m_stripTrailingCharacters.containsAsciiByte(text.back()))) {
        return std::string_view::npos;
    }
    // Start of the run of member characters that reaches the end.
    std::size_t runStart = std::string_view::npos;
    forEachCharacter(text, [&](std::string_view character, std::size_t offset) {
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

void SourceFileAnalyzer::emitLog(std::string message, std::string_view level, std::string_view file, int line) const
{
    if (m_logSink) {
        m_logSink(std::move(message), level, file, line);
    } else {
        AppLogger::shared().log(std::move(message), level, file, line);
    }
}

// --- Entry operation ------------------------------------------------------------

SourceFileAnalyzer::ChunkPlan SourceFileAnalyzer::planChunks(std::size_t itemCount, std::size_t cores)
{
    const std::size_t chunks = std::min(itemCount / kItemsPerChunk, cores);
    if (chunks < 2) {
        return ChunkPlan {1, itemCount};
    }
    return ChunkPlan {chunks, (itemCount + chunks - 1) / chunks};
}

std::vector<std::size_t> SourceFileAnalyzer::sortedOrder(const std::vector<FileItem>& items)
{
    struct SortKey {
        std::size_t index;
        std::size_t depth;
        bool isDirectory;
        std::string_view path;  // NFC form, compared by bytes (= code point order)
        std::uint64_t head;  // the first 8 bytes of `path`, big-endian, zero-padded
    };
    // Runs fn(begin, end) over [0, n) in chunks side by side.
    const auto inChunks = [](std::size_t n, const auto& fn) {
        const std::size_t chunks = std::min(n / kItemsPerChunk, processorCount());
        if (chunks < 2) {
            fn(std::size_t {0}, n);
            return;
        }
        const std::size_t size = (n + chunks - 1) / chunks;
        parallelFor(chunks, [&](std::size_t chunk) { fn(std::min(chunk * size, n), std::min((chunk + 1) * size, n)); });
    };
    // NFC forms of the paths that are not already in NFC (ASCII never needs
    // one); kept alive for the sort.
    const std::size_t n = items.size();
    std::vector<std::string> normalized(n);
    std::vector<SortKey> keys(n);
    inChunks(n, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::string& path = items[i].path;
            std::string_view text = path;
            if (!text::isAscii(path) && !text::isNfc(path)) {
                normalized[i] = text::nfc(path);
                text = normalized[i];
            }
            const std::size_t depth = static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
            keys[i] = SortKey {i, depth, items[i].isDirectory, text, 0};
        }
    });
    // All paths share the source root: comparisons start after the common
    // prefix, and the next 8 bytes, read as one big-endian number, settle
    // most of them without a byte-wise compare.
    // The common prefix of every chunk, side by side, then the shortest.
    std::mutex commonMutex;
    std::size_t common = keys.empty() ? 0 : keys.front().path.size();
    inChunks(n, [&](std::size_t begin, std::size_t end) {
        if (begin >= end) {
            return;
        }
        const std::string_view first = keys.front().path;
        std::size_t chunkCommon = first.size();
        for (std::size_t i = begin; i < end; ++i) {
            const std::string_view path = keys[i].path;
            const std::size_t limit = std::min(chunkCommon, path.size());
            std::size_t same = 0;
            while (same < limit && first[same] == path[same]) {
                ++same;
            }
            chunkCommon = same;
        }
        const std::lock_guard<std::mutex> lock(commonMutex);
        common = std::min(common, chunkCommon);
    });
    inChunks(n, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            SortKey& key = keys[i];
            key.path.remove_prefix(common);
            std::uint64_t head = 0;
            for (std::size_t b = 0; b < 8; ++b) {
                head = (head << 8) | (b < key.path.size() ? static_cast<unsigned char>(key.path[b]) : 0U);
            }
            key.head = head;
        }
    });
    const auto before = [](const SortKey& a, const SortKey& b) {
        if (a.depth != b.depth) {
            return a.depth < b.depth;
        }
        if (a.isDirectory != b.isDirectory) {
            return a.isDirectory;
        }
        if (a.head != b.head) {
            return a.head < b.head;
        }
        return a.path < b.path;
    };
    parallelStableSort(keys, before);
    std::vector<std::size_t> order;
    order.reserve(keys.size());
    for (const SortKey& key : keys) {
        order.push_back(key.index);
    }
    return order;
}

std::string SourceFileAnalyzer::rootWithSlash(std::string_view sourceRootPath)
{
    std::string root(sourceRootPath);
    if (root.empty() || root.back() != '/') {
        root.push_back('/');
    }
    return root;
}

std::optional<std::string> SourceFileAnalyzer::relativePath(std::string_view path, std::string_view root)
{
    if (path.size() > root.size() && path.substr(0, root.size()) == root) {
        return std::string(path.substr(root.size()));
    }
    if ((text::isAscii(path) && text::isAscii(root)) || !text::isValidUtf8(path) || !text::isValidUtf8(root)) {
        return std::nullopt;
    }
    // Character by character, canonically equivalent characters being equal.
    std::vector<std::string> rootCharacters;
    forEachCharacter(root, [&](std::string_view character, std::size_t) {
        rootCharacters.push_back(characterKey(character));
        return true;
    });
    std::size_t matched = 0;
    std::size_t restOffset = 0;
    bool mismatch = false;
    forEachCharacter(path, [&](std::string_view character, std::size_t offset) {
        if (matched == rootCharacters.size()) {
            restOffset = offset;
            return false;
        }
        if (characterKey(character) != rootCharacters[matched]) {
            mismatch = true;
            return false;
        }
        ++matched;
        restOffset = offset + character.size();
        return true;
    });
    if (mismatch || matched < rootCharacters.size() || restOffset >= path.size()) {
        return std::nullopt;
    }
    return std::string(path.substr(restOffset));
}

SourceFileAnalyzer::AnalysisResult SourceFileAnalyzer::analyze(const std::vector<FileItem>& items,
    std::string_view sourceRootPath, std::string_view target, const CancelCheck& isCancelled) const
{
    const Clock::time_point t0 = Clock::now();
    const std::size_t n = items.size();
    const std::string root = rootWithSlash(sourceRootPath);
    const std::size_t cores = processorCount();
    const ChunkPlan plan = planChunks(n, cores);
    const std::string_view encoding = encodingCaseName(m_resolvedEncoding);
    const std::string_view caseSensitive = m_effectiveCaseSensitive ? "true" : "false";

    ANALYZER_LOG_INFO("Analyzer: Starting analysis of " + std::to_string(n) + " items "
        + "[target=" + (target.empty() ? std::string("unknown") : std::string(target)) + ", "
        + "encoding=" + std::string(encoding) + ", caseSensitive=" + std::string(caseSensitive) + ", "
        + "fileNameLimit=" + std::to_string(m_effectiveFileNameLength)
        + ", folderNameLimit=" + std::to_string(m_effectiveFolderNameLength) + ", "
        + "pathLengthLimit=" + (m_effectiveMaxPathLength == kNoLimit ? std::string("none") : std::to_string(m_effectiveMaxPathLength)) + ", "
        + "flattenDepth=" + (m_effectiveMaxPathDepth == kNoLimit ? std::string("none") : std::to_string(m_effectiveMaxPathDepth)) + ", "
        + "translationEntries=" + std::to_string(m_effectiveTranslationTable.count()) + "]");

    // Preparation: sort, then relative paths.
    const Clock::time_point t1 = Clock::now();
    // The large lists of preparation and phase 1 are set up on other threads
    // while the sort runs.
    std::future<std::vector<PreparedItem>> futurePrepared = makeListInBackground<PreparedItem>(n);
    std::future<std::vector<Phase1Result>> futurePhase1Slots = makeListInBackground<Phase1Result>(n);
    const std::vector<std::size_t> order = sortedOrder(items);
    std::vector<PreparedItem> prepared = futurePrepared.get();
    const ChunkPlan copyPlan = planChunks(n, cores);
    parallelFor(copyPlan.chunkCount, [&](std::size_t chunk) {
        const std::size_t begin = std::min(chunk * copyPlan.chunkSize, n);
        const std::size_t end = std::min(begin + copyPlan.chunkSize, n);
        for (std::size_t i = begin; i < end; ++i) {
            prepared[i].item = items[order[i]];
        }
    });
    const Clock::time_point t2 = Clock::now();
    const Clock::time_point t3 = Clock::now();
    parallelFor(copyPlan.chunkCount, [&](std::size_t chunk) {
        const std::size_t begin = std::min(chunk * copyPlan.chunkSize, n);
        const std::size_t end = std::min(begin + copyPlan.chunkSize, n);
        for (std::size_t i = begin; i < end; ++i) {
            PreparedItem& item = prepared[i];
            if (std::optional<std::string> relative = relativePath(item.item.path, root)) {
                item.relativePath = std::move(*relative);
            } else {
                item.relativePath = item.item.path;
                item.outsideSourceRoot = true;
            }
        }
    });
    // The warnings in item order, after the work side by side.
    for (const PreparedItem& item : prepared) {
        if (item.outsideSourceRoot) {
            ANALYZER_LOG_WARN("⚠️ Analyzer: item outside the source root left unchanged: " + text::toValidUtf8(item.item.path));
        }
    }
    const Clock::time_point t4 = Clock::now();
    const double sortTime = secondsBetween(t1, t2);
    const double relTime = secondsBetween(t3, t4);
    const double prepTime = sortTime + relTime;
    ANALYZER_LOG_INFO("Analyzer: Prep complete in " + formatSeconds(prepTime, 2) + "s " + "[sort=" + formatSeconds(sortTime, 2)
        + "s, relPaths=" + formatSeconds(relTime, 2) + "s]");

    ANALYZER_LOG_INFO("Analyzer: Phase 1 starting — " + std::to_string(n) + " items across " + std::to_string(plan.chunkCount)
        + " chunks on " + std::to_string(cores) + " cores");
    const Clock::time_point t5 = Clock::now();
    Phase1Output phase1 = runPhase1Into(std::move(prepared), futurePhase1Slots.get(), isCancelled);
    const Clock::time_point t6 = Clock::now();
    const double phase1Time = secondsBetween(t5, t6);
    const auto withTransforms = std::count_if(phase1.results.begin(), phase1.results.end(),
        [](const Phase1Result& result) { return !result.transformations.empty(); });
    ANALYZER_LOG_INFO("Analyzer: Phase 1 complete in " + formatSeconds(phase1Time, 2) + "s — " + std::to_string(withTransforms)
        + " items with transforms");

    // A phase 1 that stopped early is never handed on, even if the caller's
    // flag has been cleared meanwhile.
    const bool cancelledAfterPhase1 = cancelled(isCancelled);
    if (cancelledAfterPhase1 || phase1.stoppedEarly) {
        ANALYZER_LOG_INFO("Analyzer: cancelled after phase1");
        return {};
    }

    ANALYZER_LOG_INFO("Analyzer: Phase 2 starting — serial cross-file passes");
    const Clock::time_point t7 = Clock::now();
    AnalysisResult result = runPhase2(std::move(phase1), isCancelled);
    const Clock::time_point t8 = Clock::now();
    const double phase2Time = secondsBetween(t7, t8);

    if (cancelled(isCancelled)) {
        ANALYZER_LOG_INFO("Analyzer: cancelled after phase2");
        return {};
    }

    const Clock::time_point t9 = Clock::now();
    const double totalTime = secondsBetween(t0, t9);
    const auto withIssues = std::count_if(result.results.begin(), result.results.end(),
        [](const FileTransformationResult& r) { return !r.transformations.empty(); });
    ANALYZER_LOG_INFO("Analyzer: Complete — " + std::to_string(n) + " items in " + formatSeconds(totalTime, 2) + "s, "
        + std::to_string(withIssues) + " with issues " + "[prep=" + formatSeconds(prepTime, 2) + "s, " + "phase1="
        + formatSeconds(phase1Time, 2) + "s, " + "phase2=" + formatSeconds(phase2Time, 2) + "s] " + "encoding="
        + std::string(encoding) + ", caseSensitive=" + std::string(caseSensitive));
    return result;
}

// --- Phase 1 ------------------------------------------------------------------

SourceFileAnalyzer::Phase1Output SourceFileAnalyzer::runPhase1(std::vector<PreparedItem> items,
    const CancelCheck& isCancelled) const
{
    std::vector<Phase1Result> slots(items.size());
    return runPhase1Into(std::move(items), std::move(slots), isCancelled);
}

SourceFileAnalyzer::Phase1Output SourceFileAnalyzer::runPhase1Into(std::vector<PreparedItem> items,
    std::vector<Phase1Result> slots, const CancelCheck& isCancelled) const
{
    Phase1Output output;
    const std::size_t n = items.size();
    if (n == 0) {
        return output;
    }
    const ChunkPlan plan = planChunks(n, processorCount());
    // Every chunk writes its own index range of one pre-sized list, so no
    // join is needed afterwards.
    output.results = std::move(slots);
    if (!plan.parallel()) {
        const std::size_t done = runPhase1Chunk(0, n, items, output.results, isCancelled);
        output.stoppedEarly = done < n;
        output.results.resize(done);
        return output;
    }
    std::vector<std::size_t> done(plan.chunkCount, 0);
    parallelFor(plan.chunkCount, [&](std::size_t chunk) {
        done[chunk] = runPhase1Chunk(chunk, plan.chunkSize, items, output.results, isCancelled);
    });
    // A stopped chunk leaves a gap: keep what was done, in order.
    std::size_t kept = 0;
    for (std::size_t chunk = 0; chunk < plan.chunkCount; ++chunk) {
        const std::size_t start = std::min(chunk * plan.chunkSize, n);
        const std::size_t size = std::min(start + plan.chunkSize, n) - start;
        output.stoppedEarly = output.stoppedEarly || done[chunk] < size;
        if (kept != start) {
            std::move(output.results.begin() + static_cast<std::ptrdiff_t>(start),
                output.results.begin() + static_cast<std::ptrdiff_t>(start + done[chunk]),
                output.results.begin() + static_cast<std::ptrdiff_t>(kept));
        }
        kept += done[chunk];
    }
    output.results.resize(kept);
    return output;
}

std::size_t SourceFileAnalyzer::runPhase1Chunk(std::size_t chunk, std::size_t chunkSize,
    std::vector<PreparedItem>& items, std::vector<Phase1Result>& results, const CancelCheck& isCancelled) const
{
    const std::size_t n = items.size();
    const std::size_t start = chunk * chunkSize;
    const std::size_t end = std::min(start + chunkSize, n);
    if (start >= end) {
        return 0;
    }
    TransliterationCaches caches;
    for (std::size_t j = 0; start + j < end; ++j) {
        if (j != 0 && j % kCancelPollInterval == 0 && cancelled(isCancelled)) {
            return j;
        }
        results[start + j] = processItem(std::move(items[start + j]), caches);
    }
    return end - start;
}

SourceFileAnalyzer::Phase1Result SourceFileAnalyzer::processItem(PreparedItem&& item, TransliterationCaches& caches) const
{
    Phase1Result result;
    result.outsideSourceRoot = item.outsideSourceRoot;
    if (item.outsideSourceRoot) {
        result.transformedPath = item.relativePath;
    } else {
        std::string path = item.relativePath;
        applyEncoding(path, result.transformations, caches);
        applyTranslationTable(path, result.transformations);
        stripCharacters(path, result.transformations);
        if (m_cleanRepeatedSeparators) {
            // A collapsed run can leave a strip character at an edge ("0-._"
            // becomes "0."): strip and collapse again until neither changes
            // anything, so that a proposed name is final. Each round shortens
            // the path; the bound is only a guard.
            for (int round = 0; round < kMaxEdgeRounds && collapseRepeatedSeparators(path, result.transformations)
                 && stripCharacters(path, result.transformations);
                 ++round) {
            }
        }
        enforceLimits(path, item.item.isDirectory, result.transformations, result.tooDeepOriginalPath);
        result.transformedPath = std::move(path);
    }
    result.originalFile = std::move(item.item);
    result.originalRelativePath = std::move(item.relativePath);
    return result;
}

// --- Phase 2 ------------------------------------------------------------------

SourceFileAnalyzer::AnalysisResult SourceFileAnalyzer::runPhase2(Phase1Output phase1, const CancelCheck& isCancelled) const
{
    return CrossItemPasses(*this).run(std::move(phase1), isCancelled);
}

// --- Encoding pass --------------------------------------------------------------

void SourceFileAnalyzer::applyEncoding(std::string& path, Issues& issues, TransliterationCaches& caches) const
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
SourceFileAnalyzer::Encoded SourceFileAnalyzer::encodeValidPath(std::string_view path, std::string& out,
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
        appendEachComponent(out, path, [&](std::string_view component) {
            if (component.empty() || text::isAscii(component)) {
                out.append(component);
                return;
            }
            const std::string ascii = transliterateComponent(component, caches);
            out.append(ascii.empty() ? kEmptyComponentStandIn : std::string_view(ascii));
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
        appendEachComponent(out, path, [&](std::string_view component) {
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
                out.append(kEmptyComponentStandIn);
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
        appendEachComponent(out, path, [&](std::string_view component) {
            out.append(component.empty() ? std::string() : text::nfc(component));
        });
        return out == path ? Encoded::unchanged : Encoded::reported;
    }
    }
    return Encoded::unchanged;
}

std::string SourceFileAnalyzer::transliterateComponent(std::string_view component, TransliterationCaches& caches)
{
    return caches.toAscii(component);
}

// --- Translation pass -------------------------------------------------------------

void SourceFileAnalyzer::applyTranslationTable(std::string& path, Issues& issues) const
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
            if (!isAsciiByte(c) || slots[static_cast<unsigned char>(c)].has_value()) {
                return true;
            }
        }
        return false;
    };

    bool changed = false;
    thread_local std::string scratch;  // keeps its capacity between items
    forEachComponent(path, [&](std::string_view component) {
        if (changed || component.empty() || !mayChange(component)) {
            return;
        }
        scratch.assign(component);
        changed = table.applyInPlace(scratch) > 0;
    });
    if (!changed) {
        return;
    }

    const std::vector<std::string> input = splitComponents(path);
    std::vector<std::string> output = input;
    for (std::string& component : output) {
        if (!component.empty()) {
            table.applyInPlace(component);
        }
    }
    // The distinct characters that went: those of a changed component that its
    // new form no longer holds. Characters are compared by canonical key;
    // single ASCII keys through tables.
    std::vector<std::string> characters;
    std::array<bool, 128> listedAscii {};
    std::vector<std::string> listedOther;
    std::array<bool, 128> keptAscii {};
    std::vector<std::string> keptOther;
    const auto isAsciiKey = [](const std::string& key) { return key.size() == 1 && isAsciiByte(key[0]); };
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == output[i] || text::canonicallyEqual(input[i], output[i])) {
            continue;
        }
        keptAscii.fill(false);
        keptOther.clear();
        forEachCharacter(output[i], [&](std::string_view character, std::size_t) {
            std::string key = characterKey(character);
            if (isAsciiKey(key)) {
                keptAscii[static_cast<unsigned char>(key[0])] = true;
            } else {
                keptOther.push_back(std::move(key));
            }
            return true;
        });
        forEachCharacter(input[i], [&](std::string_view character, std::size_t) {
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
    // A component the table emptied becomes "_" only now, so that the list
    // above names every character the table took out.
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (output[i].empty() && !input[i].empty()) {
            output[i] = kEmptyComponentStandIn;
        }
    }
    std::string newPath = joinComponents(output);
    issues.emplace_back(FileTransformationIssue::CharacterTransformed {std::move(characters), path, newPath});
    path = std::move(newPath);
}

// --- Strip pass ---------------------------------------------------------------------

bool SourceFileAnalyzer::mayStrip(std::string_view component) const
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

bool SourceFileAnalyzer::stripCharacters(std::string& path, Issues& issues) const
{
    if (m_stripLeadingCharacters.empty() && m_stripTrailingCharacters.empty()) {
        return false;
    }
    bool candidate = false;
    forEachComponent(path, [&](std::string_view component) { candidate = candidate || mayStrip(component); });
    if (!candidate) {
        return false;
    }
    std::vector<std::string> trimmed;
    std::string out;
    out.reserve(path.size());
    appendEachComponent(out, path, [&](std::string_view component) {
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

std::string SourceFileAnalyzer::stripComponent(std::string_view component, std::vector<std::string>& trimmed) const
{
    if (component.empty()) {
        return std::string();
    }
    std::string_view rest = component;
    if (!m_stripLeadingCharacters.empty()) {
        std::size_t cut = 0;
        // With ASCII members only, the first character must be a member byte.
        if (!m_stripLeadingCharacters.asciiOnly() || m_stripLeadingCharacters.containsAsciiByte(rest.front())) {
            forEachCharacter(rest, [&](std::string_view character, std::size_t offset) {
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
        return std::string(kEmptyComponentStandIn);
    }
    return std::string(rest);
}

// --- Separator pass -------------------------------------------------------------------

bool SourceFileAnalyzer::hasSeparatorRun(std::string_view component) const
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

bool SourceFileAnalyzer::collapseRepeatedSeparators(std::string& path, Issues& issues) const
{
    if (m_repeatedSeparatorSet.empty()) {
        return false;
    }
    bool mayChange = false;
    forEachComponent(path, [&](std::string_view component) {
        mayChange = mayChange || (!component.empty() && hasSeparatorRun(component));
    });
    if (!mayChange) {
        return false;
    }
    std::string out;
    out.reserve(path.size());
    appendEachComponent(out, path, [&](std::string_view component) {
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

std::string SourceFileAnalyzer::collapseSeparatorRuns(std::string_view text) const
{
    if (m_repeatedSeparatorSet.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::string_view pending;
    std::int64_t pendingRank = 0;
    forEachCharacter(text, [&](std::string_view character, std::size_t) {
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

void SourceFileAnalyzer::enforceLimits(std::string& path, bool isDirectory, Issues& issues,
    std::optional<std::string>& tooDeepOriginalPath) const
{
    // 1. Name length.
    {
        const std::int64_t bytes = nameLength(lastComponent(path));
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
        const std::int64_t depth = depthOf(path);
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
        key = reservedKeyFor(lastComponent(path), isDirectory);
    }
    if (!key && isDotName(lastComponent(path))) {
        key = std::string(lastComponent(path));
    }
    if (key) {
        issues.emplace_back(FileTransformationIssue::ReservedName {std::move(*key)});
        path = prefixReservedName(path);
        refitAfterPrefix(path, isDirectory, issues);
    }
    prefixDotAncestors(path);
}

std::optional<std::string> SourceFileAnalyzer::reservedKeyFor(std::string_view name, bool isDirectory) const
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
    const std::string_view base = splitExtension(name).first;
    if (std::optional<std::string> key = candidate(base)) {
        return key;
    }
    // A file whose whole name is reserved ("." or "..", whose extension split
    // leaves a different base) is reserved too.
    return base.size() == name.size() ? std::nullopt : candidate(name);
}

void SourceFileAnalyzer::refitAfterPrefix(std::string& path, bool isDirectory, Issues& issues) const
{
    const std::int64_t limit = isDirectory ? m_effectiveFolderNameLength : m_effectiveFileNameLength;
    if (nameLength(lastComponent(path)) <= limit) {
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

void SourceFileAnalyzer::prefixDotAncestors(std::string& path)
{
    bool found = false;
    forEachComponent(parentPart(path), [&](std::string_view component) { found = found || isDotName(component); });
    if (!found) {
        return;
    }
    std::string out;
    appendEachComponent(out, parentPart(path), [&](std::string_view component) {
        if (isDotName(component)) {
            out.append(kReservedPrefix);
        }
        out.append(component);
    });
    path = joinPrefixAndName(out, lastComponent(path));
}

std::string SourceFileAnalyzer::prefixReservedName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::string out;
    out.reserve(path.size() + kReservedPrefix.size());
    out.append(path.substr(0, nameStart));
    out.append(kReservedPrefix);
    out.append(path.substr(nameStart));
    return out;
}

// --- Name operations ------------------------------------------------------------------------

std::string SourceFileAnalyzer::truncateToUTF8Bytes(std::string_view text, std::int64_t budget)
{
    if (budget <= 0) {
        return std::string();
    }
    if (byteCount(text) <= budget) {
        return std::string(text);
    }
    const auto limit = static_cast<std::size_t>(budget);
    if (bytesAreCharacters(text.substr(0, std::min(text.size(), limit + 1)))) {
        return std::string(text.substr(0, limit));
    }
    return text::truncateToBytes(text, limit);
}

std::string SourceFileAnalyzer::truncateLastComponent(std::string_view path, std::int64_t budget)
{
    std::string cut = truncateToUTF8Bytes(lastComponent(path), budget);
    if (cut.empty()) {
        cut = kEmptyComponentStandIn;
    }
    return joinPrefixAndName(parentPart(path), cut);
}

std::int64_t SourceFileAnalyzer::nameLength(std::string_view name) const
{
    if (!m_udfNameLengths || text::isAscii(name)) {
        return byteCount(name);
    }
    UdfCount count;
    count.add(name);
    return count.bytes();
}

std::string SourceFileAnalyzer::fitUdfNameHead(std::string_view head, std::string_view tail, std::int64_t limit)
{
    UdfCount kept;
    UdfCount tailCount;
    tailCount.add(tail);
    std::size_t cut = 0;
    // Each character only lengthens the name, so the first that does not fit ends it.
    forEachCharacter(head, [&](std::string_view character, std::size_t offset) {
        UdfCount next = kept;
        next.add(character);
        if ((next + tailCount).bytes() > limit) {
            return false;
        }
        kept = next;
        cut = offset + character.size();
        return true;
    });
    return std::string(head.substr(0, cut));
}

std::string SourceFileAnalyzer::truncateFolderName(std::string_view path, std::int64_t limit) const
{
    // A cut can end on a character the trailing strip removes: it goes too,
    // so that the cut name is final.
    std::string cut = truncateName(path, limit);
    const std::string_view name = lastComponent(cut);
    std::string kept = dropTrailingStripCharacters(name);
    if (kept.size() == name.size()) {
        return cut;
    }
    return joinPrefixAndName(parentPart(cut), kept.empty() ? std::string(kEmptyComponentStandIn) : kept);
}

std::string SourceFileAnalyzer::truncateName(std::string_view path, std::int64_t limit) const
{
    if (!m_udfNameLengths) {
        return truncateLastComponent(path, limit);
    }
    std::string cut = fitUdfNameHead(lastComponent(path), {}, limit);
    if (cut.empty()) {
        cut = kEmptyComponentStandIn;
    }
    return joinPrefixAndName(parentPart(path), cut);
}

std::pair<std::string_view, std::string_view> SourceFileAnalyzer::splitExtension(std::string_view name)
{
    if (bytesAreCharacters(name)) {
        const std::size_t from = (name.size() >= 2 && name[0] == '.') ? 1 : 0;
        const std::size_t dot = name.find('.', from);
        if (dot == std::string_view::npos) {
            return {name, std::string_view()};
        }
        return {name.substr(0, dot), name.substr(dot)};
    }
    // Character walk: a "." joined with a combining mark is not a full stop.
    std::size_t index = 0;
    bool leadingDot = false;
    std::size_t dotOffset = std::string_view::npos;
    forEachCharacter(name, [&](std::string_view character, std::size_t offset) {
        const bool isDot = character == ".";
        if (index == 0) {
            leadingDot = isDot;
        } else if (isDot) {
            dotOffset = offset;
            return false;
        }
        ++index;
        return true;
    });
    if (dotOffset == std::string_view::npos && leadingDot && index <= 1) {
        dotOffset = 0;  // the name is one full stop
    }
    if (dotOffset == std::string_view::npos) {
        return {name, std::string_view()};
    }
    return {name.substr(0, dotOffset), name.substr(dotOffset)};
}

std::pair<std::string_view, std::string_view> SourceFileAnalyzer::splitVersionSuffix(std::string_view base)
{
    std::size_t underscoreOffset = std::string_view::npos;
    std::size_t underscoreIndex = 0;
    std::size_t numbersAfter = 0;
    std::size_t index = 0;
    forEachCharacter(base, [&](std::string_view character, std::size_t offset) {
        if (character == "_") {
            underscoreOffset = offset;
            underscoreIndex = index;
            numbersAfter = 0;
        } else if (underscoreOffset != std::string_view::npos && isNumberCharacter(character)) {
            ++numbersAfter;
        } else {
            underscoreOffset = std::string_view::npos;
        }
        ++index;
        return true;
    });
    if (underscoreOffset == std::string_view::npos || numbersAfter == 0 || underscoreIndex == 0) {
        return {base, std::string_view()};
    }
    return {base.substr(0, underscoreOffset), base.substr(underscoreOffset)};
}

std::string SourceFileAnalyzer::fitFileName(std::string_view path, std::int64_t limit, Issues& issues) const
{
    const std::string_view name = lastComponent(path);
    const std::string_view prefix = parentPart(path);
    const auto [base, extension] = splitExtension(name);
    const auto [stem, suffix] = splitVersionSuffix(base);
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
        std::string cut = m_udfNameLengths ? fitUdfNameHead(stem, tail, limit) : truncateToUTF8Bytes(stem, budget);
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
            return joinPrefixAndName(prefix, cut);
        }
        reason = "No character fits in " + std::to_string(budget) + "-byte base budget";
    }
    ANALYZER_LOG_INFO("Analyzer: unresolvable '" + std::string(name) + "' — " + reason);
    issues.emplace_back(FileTransformationIssue::FilenameUnresolvable {std::move(reason)});
    return std::string(path);
}

}  // namespace tess
