#pragma once

// Text rules shared by the whole engine. Strings are UTF-8 in std::string.
//
// - A character is an extended grapheme cluster.
// - Texts are equal when canonically equivalent: compare and hash NFC forms.
// - Lengths are UTF-8 bytes.
// - Input that is not valid UTF-8 never crashes anything here: each byte of an
//   invalid sequence reads as its Windows-1252 character (bytes undefined in
//   Windows-1252 read as U+FFFD). `toValidUtf8` performs that reading; every
//   other function applies it to its input first, so their results are always
//   valid UTF-8. Raw bytes are never lost by callers: they keep the original.
// - Embedded NUL bytes are ordinary characters (U+0000, category Cc).
// - Pure-ASCII input takes fast paths that never touch ICU.
// - Thread-safe: ICU objects that are not are kept per thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tess::text {

bool isAscii(std::string_view s);
bool isValidUtf8(std::string_view s);

// The input unchanged when it is valid UTF-8, else its Windows-1252 reading
// of every invalid byte (see above).
std::string toValidUtf8(std::string_view s);

// How a path taken from the disk is shown or written as text (lists,
// reports, copied paths): the path itself when it is valid UTF-8; otherwise
// each byte of an invalid sequence as "\x" and two lower-case hex digits
// (what Python's bytes.decode('utf-8', 'backslashreplace') gives), so that
// the text never reads as the name a decoding would make of it. Unlike
// toValidUtf8, which analysis uses, `caf\xe9` stays apart from a valid
// `café` beside it. A valid name is written as it is, so one that holds
// the characters "\xe9" reads the same as one that holds the byte.
std::string displayPath(std::string_view raw);
// The same, appended to `out`.
void appendDisplayPath(std::string& out, std::string_view raw);

// Calls `fn` with each code point of the (valid-UTF-8 reading of the) input.
void forEachCodePoint(std::string_view s, const std::function<void(char32_t)>& fn);
std::u32string toCodePoints(std::string_view s);
void appendUtf8(std::string& out, char32_t cp);
std::string fromCodePoints(std::u32string_view cps);

// Extended grapheme clusters. `fn` receives each cluster as a view that is
// valid only during the call; returning false stops the iteration.
void forEachGrapheme(std::string_view s, const std::function<bool(std::string_view)>& fn);
std::size_t graphemeCount(std::string_view s);

// Unicode normalisation.
std::string nfc(std::string_view s);
std::string nfd(std::string_view s);
// True when `s` is valid UTF-8 already in NFC, so that nfc(s) == s.
bool isNfc(std::string_view s);

// Canonical equivalence: equality, hashing and ordering of NFC forms
// (ordering is NFC code-point order, which equals the byte order of the NFC
// UTF-8 forms).
bool canonicallyEqual(std::string_view a, std::string_view b);
std::size_t canonicalHash(std::string_view s);
int canonicalCompare(std::string_view a, std::string_view b);

struct CanonicalHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return canonicalHash(s); }
};
struct CanonicalEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return canonicallyEqual(a, b); }
};
struct CanonicalLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return canonicalCompare(a, b) < 0; }
};

// The longest prefix of at most `maxBytes` UTF-8 bytes that ends on a
// grapheme boundary.
std::string truncateToBytes(std::string_view s, std::size_t maxBytes);

// Case mapping in the root locale (full mappings, so the length may change).
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);

// The control set: general categories Cc and Cf.
bool isControl(char32_t cp);
bool containsControl(std::string_view s);

}  // namespace tess::text
