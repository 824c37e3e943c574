#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tess {

// How text that arrives from clients is shown in the daemon's log: every
// character that is not printable is written as an escape, so that a file
// name can neither start a line of its own nor reorder what a reader sees,
// and an argument is shown up to a few hundred bytes with its length.
class LogText {
public:
    static constexpr std::size_t kArgumentLimit = 256;  // bytes of one argument
    static constexpr std::size_t kMessageLimit = 4096;  // bytes of one entry

    // `text` with a backslash as "\\\\", a line feed as "\\n", other C0
    // controls, DEL, C1 controls and bytes that are not UTF-8 as "\\xNN",
    // and the characters that print nothing or reorder a line (the Unicode
    // categories Cf, Zl and Zp, every other default-ignorable code point,
    // U+FFFE and U+FFFF) as "\\u{XXXX}". An escape therefore never reads
    // like a character the text holds.
    static std::string escape(std::string_view text);

    // `argument` itself when it has at most `limit` bytes; else its first
    // bytes up to a character boundary, "…" and "(N bytes)".
    static std::string clip(std::string_view argument, std::size_t limit = kArgumentLimit);
};

}  // namespace tess
