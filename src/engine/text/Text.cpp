#include "text/Text.h"

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <climits>
#include <cstring>
#include <memory>

namespace tess::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 reading of the bytes 0x80-0x9F; the rest of 0xA0-0xFF is
// Latin-1. Bytes undefined in Windows-1252 read as U+FFFD.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t windows1252(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0) {
        return kWindows1252High[byte - 0x80];
    }
    return byte;
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at p[0] (at most `n` bytes
// available) and its code point, or 0 when the bytes there are not one.
// Rejects overlong forms, surrogates and code points past U+10FFFF.
std::size_t decodeValid(const unsigned char* p, std::size_t n, char32_t& cp)
{
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (n < 2 || !isContinuation(p[1])) {
            return 0;
        }
        cp = (static_cast<char32_t>(b0 & 0x1F) << 6) | (p[1] & 0x3F);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (n < 3 || !isContinuation(p[1]) || !isContinuation(p[2])) {
            return 0;
        }
        if ((b0 == 0xE0 && p[1] < 0xA0) || (b0 == 0xED && p[1] > 0x9F)) {
            return 0;  // overlong, or a surrogate
        }
        cp = (static_cast<char32_t>(b0 & 0x0F) << 12) | (static_cast<char32_t>(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (n < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) || !isContinuation(p[3])) {
            return 0;
        }
        if ((b0 == 0xF0 && p[1] < 0x90) || (b0 == 0xF4 && p[1] > 0x8F)) {
            return 0;  // overlong, or past U+10FFFF
        }
        cp = (static_cast<char32_t>(b0 & 0x07) << 18) | (static_cast<char32_t>(p[1] & 0x3F) << 12)
            | (static_cast<char32_t>(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        return 4;
    }
    return 0;
}

// Reads one code point at s[pos] and advances pos: a well-formed sequence,
// else the Windows-1252 reading of the single byte there.
char32_t decodeNext(std::string_view s, std::size_t& pos)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + pos;
    char32_t cp = 0;
    const std::size_t length = decodeValid(p, s.size() - pos, cp);
    if (length == 0) {
        pos += 1;
        return windows1252(p[0]);
    }
    pos += length;
    return cp;
}

std::size_t firstNonAscii(std::string_view s)
{
    const char* data = s.data();
    const std::size_t n = s.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(data[i]) >= 0x80) {
            return i;
        }
    }
    return n;
}

// A view of the valid-UTF-8 reading of `s`: `s` itself when it is valid,
// else the converted text kept in `storage`.
std::string_view validView(std::string_view s, std::string& storage)
{
    if (isValidUtf8(s)) {
        return s;
    }
    storage = toValidUtf8(s);
    return storage;
}

// ICU takes 32-bit lengths; longer texts are left to the non-ICU fallbacks.
bool fitsIcu(std::string_view s)
{
    return s.size() <= static_cast<std::size_t>(INT32_MAX);
}

icu::StringPiece piece(std::string_view s)
{
    return icu::StringPiece(s.empty() ? "" : s.data(), static_cast<int32_t>(s.size()));
}

const icu::Normalizer2* nfcInstance()
{
    static const icu::Normalizer2* instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return instance;
}

const icu::Normalizer2* nfdInstance()
{
    static const icu::Normalizer2* instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFDInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return instance;
}

// Normalises valid, non-ASCII UTF-8; the input unchanged when ICU fails.
std::string normalizeValid(const icu::Normalizer2* normalizer, std::string_view valid)
{
    if (normalizer == nullptr || !fitsIcu(valid)) {
        return std::string(valid);
    }
    std::string out;
    out.reserve(valid.size() + valid.size() / 4);
    icu::StringByteSink<std::string> sink(&out);
    UErrorCode status = U_ZERO_ERROR;
    normalizer->normalizeUTF8(0, piece(valid), sink, nullptr, status);
    if (U_FAILURE(status)) {
        return std::string(valid);
    }
    return out;
}

bool isNfcValid(std::string_view valid)
{
    if (firstNonAscii(valid) == valid.size()) {
        return true;
    }
    const icu::Normalizer2* normalizer = nfcInstance();
    if (normalizer == nullptr || !fitsIcu(valid)) {
        return true;  // nothing to normalise with: the text stays as it is
    }
    UErrorCode status = U_ZERO_ERROR;
    const UBool normalized = normalizer->isNormalizedUTF8(piece(valid), status);
    return U_SUCCESS(status) ? normalized != 0 : true;
}

// The NFC form of any input as a view: the input itself when it is valid and
// already NFC (no allocation), else the normalised text kept in `storage`.
std::string_view nfcView(std::string_view s, std::string& storage)
{
    const std::size_t asciiPrefix = firstNonAscii(s);
    if (asciiPrefix == s.size()) {
        return s;
    }
    std::string converted;
    const std::string_view valid = validView(s, converted);
    if (isNfcValid(valid)) {
        if (converted.empty()) {
            return s;
        }
        storage = std::move(converted);
        return storage;
    }
    storage = normalizeValid(nfcInstance(), valid);
    return storage;
}

// ---- grapheme clusters ------------------------------------------------------

// The thread's character break iterator (and the text object it reads),
// lent out for one iteration. A nested iteration on the same thread (a
// callback that iterates again) gets its own copy, so the outer one is never
// disturbed.
class BreakIteratorLease {
public:
    BreakIteratorLease()
    {
        Slot& slot = threadSlot();
        if (!slot.busy && slot.iterator) {
            slot.busy = true;
            m_slot = &slot;
            m_iterator = slot.iterator.get();
            m_text = &slot.text;
        } else if (slot.iterator) {
            m_owned.reset(slot.iterator->clone());
            m_iterator = m_owned.get();
            m_text = &m_ownText;
        }
    }
    ~BreakIteratorLease()
    {
        if (m_slot != nullptr) {
            m_slot->busy = false;
        }
        utext_close(&m_ownText);
    }
    BreakIteratorLease(const BreakIteratorLease&) = delete;
    BreakIteratorLease& operator=(const BreakIteratorLease&) = delete;

    // Null when ICU could not create one.
    icu::BreakIterator* iterator() const { return m_iterator; }
    // Reused between iterations, so its buffers are allocated once per thread.
    UText* text() const { return m_text; }

private:
    struct Slot {
        Slot()
        {
            UErrorCode status = U_ZERO_ERROR;
            iterator.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
            if (U_FAILURE(status)) {
                iterator.reset();
            }
        }
        ~Slot()
        {
            iterator.reset();
            utext_close(&text);
        }
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;

        std::unique_ptr<icu::BreakIterator> iterator;
        UText text = UTEXT_INITIALIZER;
        bool busy = false;
    };

    static Slot& threadSlot()
    {
        thread_local Slot slot;
        return slot;
    }

    Slot* m_slot = nullptr;
    std::unique_ptr<icu::BreakIterator> m_owned;
    UText m_ownText = UTEXT_INITIALIZER;
    icu::BreakIterator* m_iterator = nullptr;
    UText* m_text = nullptr;
};

// Calls fn(start, end) for each cluster of ASCII text s[from, to).
template <class Fn>
bool asciiClusters(std::string_view s, std::size_t from, std::size_t to, Fn& fn)
{
    std::size_t i = from;
    while (i < to) {
        const std::size_t length = (s[i] == '\r' && i + 1 < to && s[i + 1] == '\n') ? 2 : 1;
        if (!fn(i, i + length)) {
            return false;
        }
        i += length;
    }
    return true;
}

// Fallback when ICU has no break iterator: one cluster per code point.
template <class Fn>
bool codePointClusters(std::string_view s, std::size_t from, Fn& fn)
{
    std::size_t i = from;
    while (i < s.size()) {
        const std::size_t start = i;
        decodeNext(s, i);
        if (!fn(start, i)) {
            return false;
        }
    }
    return true;
}

template <class Fn>
bool icuClusters(std::string_view s, std::size_t from, Fn& fn)
{
    const std::string_view rest = s.substr(from);
    BreakIteratorLease lease;
    icu::BreakIterator* iterator = lease.iterator();
    if (iterator == nullptr || !fitsIcu(rest)) {
        return codePointClusters(s, from, fn);
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(lease.text(), rest.empty() ? "" : rest.data(), static_cast<int64_t>(rest.size()), &status);
    if (U_SUCCESS(status)) {
        iterator->setText(text, status);
    }
    if (U_FAILURE(status)) {
        return codePointClusters(s, from, fn);
    }
    bool completed = true;
    std::int32_t start = iterator->first();
    for (std::int32_t end = iterator->next(); end != icu::BreakIterator::DONE; end = iterator->next()) {
        if (!fn(from + static_cast<std::size_t>(start), from + static_cast<std::size_t>(end))) {
            completed = false;
            break;
        }
        start = end;
    }
    // The iterator keeps pointing at `rest` until its next setText(); it is
    // never read before that.
    return completed;
}

// The end of the stretch of text around a non-ASCII character at `p` that
// ICU has to segment: the first position after `p` between two ASCII
// characters other than CR LF. A boundary always stands there (no ASCII
// character extends the one before it, and an ASCII character before it is
// never a prepending one), and no rule looks further back than that.
std::size_t endOfIcuStretch(std::string_view s, std::size_t p)
{
    for (std::size_t i = p + 1; i < s.size(); ++i) {
        const auto before = static_cast<unsigned char>(s[i - 1]);
        const auto here = static_cast<unsigned char>(s[i]);
        if (before < 0x80 && here < 0x80 && !(before == '\r' && here == '\n')) {
            return i;
        }
    }
    return s.size();
}

// Calls fn(start, end) with the byte range of each cluster of valid UTF-8
// `s`; fn returns false to stop. ASCII runs never reach ICU: ICU segments
// only the stretches around non-ASCII characters, from the ASCII character
// before one (a base a mark may attach to) to the end found above.
template <class Fn>
void forEachClusterRange(std::string_view s, Fn&& fn)
{
    std::size_t pos = 0;  // always a boundary
    while (pos < s.size()) {
        const std::size_t p = pos + firstNonAscii(s.substr(pos));
        if (p == s.size()) {
            asciiClusters(s, pos, s.size(), fn);
            return;
        }
        std::size_t icuStart = p == pos ? p : p - 1;
        if (icuStart > pos && s[icuStart] == '\n' && s[icuStart - 1] == '\r') {
            --icuStart;
        }
        if (!asciiClusters(s, pos, icuStart, fn)) {
            return;
        }
        const std::size_t icuEnd = endOfIcuStretch(s, p);
        if (!icuClusters(s.substr(0, icuEnd), icuStart, fn)) {
            return;
        }
        pos = icuEnd;
    }
}

// ---- case mapping -----------------------------------------------------------

using IcuCaseMapping = void (*)(const char*, uint32_t, icu::StringPiece, icu::ByteSink&, icu::Edits*, UErrorCode&);

std::string mapCase(std::string_view s, char (*asciiMap)(char), IcuCaseMapping icuMap)
{
    std::string storage;
    const std::string_view valid = validView(s, storage);
    if (firstNonAscii(valid) == valid.size() || !fitsIcu(valid)) {
        std::string out(valid);
        for (char& c : out) {
            c = asciiMap(c);
        }
        return out;
    }
    std::string out;
    out.reserve(valid.size());
    icu::StringByteSink<std::string> sink(&out);
    UErrorCode status = U_ZERO_ERROR;
    icuMap("", 0, piece(valid), sink, nullptr, status);  // "" is the root locale
    if (U_FAILURE(status)) {
        return std::string(valid);
    }
    return out;
}

char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

}  // namespace

// ---- UTF-8 ------------------------------------------------------------------

bool isAscii(std::string_view s)
{
    return firstNonAscii(s) == s.size();
}

bool isValidUtf8(std::string_view s)
{
    std::size_t i = firstNonAscii(s);
    const auto* data = reinterpret_cast<const unsigned char*>(s.data());
    while (i < s.size()) {
        if (data[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = decodeValid(data + i, s.size() - i, cp);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string toValidUtf8(std::string_view s)
{
    const std::size_t prefix = firstNonAscii(s);
    if (prefix == s.size() || isValidUtf8(s.substr(prefix))) {
        return std::string(s);
    }
    std::string out(s.substr(0, prefix));
    out.reserve(s.size() + s.size() / 2);
    std::size_t i = prefix;
    const auto* data = reinterpret_cast<const unsigned char*>(s.data());
    while (i < s.size()) {
        char32_t cp = 0;
        const std::size_t length = decodeValid(data + i, s.size() - i, cp);
        if (length > 0) {
            out.append(s.data() + i, length);
            i += length;
        } else {
            appendUtf8(out, windows1252(data[i]));
            ++i;
        }
    }
    return out;
}

std::string displayPath(std::string_view raw)
{
    std::string out;
    appendDisplayPath(out, raw);
    return out;
}

void appendDisplayPath(std::string& out, std::string_view raw)
{
    const std::size_t prefix = firstNonAscii(raw);
    if (prefix == raw.size() || isValidUtf8(raw.substr(prefix))) {
        out.append(raw);
        return;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    out.append(raw.substr(0, prefix));
    const auto* data = reinterpret_cast<const unsigned char*>(raw.data());
    for (std::size_t i = prefix; i < raw.size();) {
        char32_t cp = 0;
        const std::size_t length = decodeValid(data + i, raw.size() - i, cp);
        if (length > 0) {
            out.append(raw.substr(i, length));
            i += length;
            continue;
        }
        const char escape[] = {'\\', 'x', kHex[data[i] >> 4], kHex[data[i] & 0xF]};
        out.append(escape, sizeof escape);
        ++i;
    }
}

void forEachCodePoint(std::string_view s, const std::function<void(char32_t)>& fn)
{
    std::size_t i = 0;
    while (i < s.size()) {
        fn(decodeNext(s, i));
    }
}

std::u32string toCodePoints(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        out.push_back(decodeNext(s, i));
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacement;  // not a Unicode scalar value
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string fromCodePoints(std::u32string_view cps)
{
    std::string out;
    out.reserve(cps.size());
    for (char32_t cp : cps) {
        appendUtf8(out, cp);
    }
    return out;
}

// ---- graphemes --------------------------------------------------------------

void forEachGrapheme(std::string_view s, const std::function<bool(std::string_view)>& fn)
{
    std::string storage;
    const std::string_view valid = validView(s, storage);
    forEachClusterRange(valid, [&](std::size_t start, std::size_t end) { return fn(valid.substr(start, end - start)); });
}

std::size_t graphemeCount(std::string_view s)
{
    std::string storage;
    const std::string_view valid = validView(s, storage);
    std::size_t count = 0;
    forEachClusterRange(valid, [&](std::size_t, std::size_t) {
        ++count;
        return true;
    });
    return count;
}

// ---- normalisation ----------------------------------------------------------

std::string nfc(std::string_view s)
{
    std::string storage;
    const std::string_view result = nfcView(s, storage);
    if (result.data() == storage.data() && !storage.empty()) {
        return storage;
    }
    return std::string(result);
}

std::string nfd(std::string_view s)
{
    std::string storage;
    const std::string_view valid = validView(s, storage);
    if (firstNonAscii(valid) == valid.size()) {
        return std::string(valid);
    }
    return normalizeValid(nfdInstance(), valid);
}

bool isNfc(std::string_view s)
{
    if (firstNonAscii(s) == s.size()) {
        return true;
    }
    // Text that is not valid UTF-8 never equals its NFC form byte for byte.
    return isValidUtf8(s) && isNfcValid(s);
}

// ---- canonical equivalence --------------------------------------------------

bool canonicallyEqual(std::string_view a, std::string_view b)
{
    if (a == b) {
        return true;
    }
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    std::string storageA;
    std::string storageB;
    return nfcView(a, storageA) == nfcView(b, storageB);
}

std::size_t canonicalHash(std::string_view s)
{
    std::string storage;
    return std::hash<std::string_view> {}(nfcView(s, storage));
}

int canonicalCompare(std::string_view a, std::string_view b)
{
    if (isAscii(a) && isAscii(b)) {
        return sign(a.compare(b));
    }
    std::string storageA;
    std::string storageB;
    return sign(nfcView(a, storageA).compare(nfcView(b, storageB)));
}

// ---- truncation -------------------------------------------------------------

std::string truncateToBytes(std::string_view s, std::size_t maxBytes)
{
    std::string storage;
    const std::string_view valid = validView(s, storage);
    if (valid.size() <= maxBytes) {
        return std::string(valid);
    }
    std::size_t cut = 0;
    forEachClusterRange(valid, [&](std::size_t, std::size_t end) {
        if (end > maxBytes) {
            return false;
        }
        cut = end;
        return true;
    });
    return std::string(valid.substr(0, cut));
}

// ---- case mapping -----------------------------------------------------------

std::string toUpper(std::string_view s)
{
    return mapCase(s, asciiUpper, icu::CaseMap::utf8ToUpper);
}

std::string toLower(std::string_view s)
{
    return mapCase(s, asciiLower, icu::CaseMap::utf8ToLower);
}

// ---- control set ------------------------------------------------------------

bool isControl(char32_t cp)
{
    if (cp < 0x80) {
        return cp < 0x20 || cp == 0x7F;
    }
    if (cp < 0xA0) {
        return true;  // C1 controls
    }
    if (cp < 0x100) {
        return cp == 0xAD;  // soft hyphen, Cf
    }
    if (cp > 0x10FFFF) {
        return false;
    }
    const auto category = u_charType(static_cast<UChar32>(cp));
    return category == U_CONTROL_CHAR || category == U_FORMAT_CHAR;
}

bool containsControl(std::string_view s)
{
    std::size_t i = 0;
    const auto* data = reinterpret_cast<const unsigned char*>(s.data());
    while (i < s.size()) {
        if (data[i] < 0x80) {
            if (data[i] < 0x20 || data[i] == 0x7F) {
                return true;
            }
            ++i;
            continue;
        }
        if (isControl(decodeNext(s, i))) {
            return true;
        }
    }
    return false;
}

}  // namespace tess::text
