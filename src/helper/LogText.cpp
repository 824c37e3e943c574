#include "LogText.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tess {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Printable ASCII that stands for itself (a backslash starts an escape).
bool isPlainAscii(unsigned char byte)
{
    return byte >= 0x20 && byte < 0x7F && byte != '\\';
}

// Code points beyond the C1 controls that print nothing or change how the
// rest of a line is shown: the Unicode general categories Cf, Zl and Zp and
// every other default-ignorable code point (Unicode 15.0), and the two
// noncharacters U+FFFE and U+FFFF. Sorted, not overlapping.
struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
};
constexpr CodeRange kInvisible[] = {
    {0x00AD, 0x00AD},
    {0x034F, 0x034F},
    {0x0600, 0x0605},
    {0x061C, 0x061C},
    {0x06DD, 0x06DD},
    {0x070F, 0x070F},
    {0x0890, 0x0891},
    {0x08E2, 0x08E2},
    {0x115F, 0x1160},
    {0x17B4, 0x17B5},
    {0x180B, 0x180F},
    {0x200B, 0x200F},
    {0x2028, 0x202E},
    {0x2060, 0x206F},
    {0x3164, 0x3164},
    {0xFE00, 0xFE0F},
    {0xFEFF, 0xFEFF},
    {0xFFA0, 0xFFA0},
    {0xFFF0, 0xFFFB},
    {0xFFFE, 0xFFFF},
    {0x110BD, 0x110BD},
    {0x110CD, 0x110CD},
    {0x13430, 0x1343F},
    {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A},
    {0xE0000, 0xE0FFF},
};

bool isInvisible(std::uint32_t code)
{
    const auto* end = std::end(kInvisible);
    const auto* range = std::upper_bound(std::begin(kInvisible), end, code,
        [](std::uint32_t value, const CodeRange& candidate) { return value < candidate.first; });
    return range != std::begin(kInvisible) && code <= (range - 1)->last;
}

// The length of the well-formed UTF-8 sequence at `at` and its code point;
// 0 when the bytes there are not one.
std::size_t decode(std::string_view text, std::size_t at, std::uint32_t& code)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

void appendByteEscape(std::string& out, unsigned code)
{
    out += "\\x";
    out.push_back(kHex[(code >> 4) & 0xF]);
    out.push_back(kHex[code & 0xF]);
}

void appendCodeEscape(std::string& out, std::uint32_t code)
{
    out += "\\u{";
    bool started = false;
    for (int shift = 20; shift >= 0; shift -= 4) {
        unsigned digit = (code >> shift) & 0xF;
        if (digit != 0 || started || shift < 16) {
            out.push_back(kHex[digit]);
            started = true;
        }
    }
    out += "}";
}

}  // namespace

std::string LogText::escape(std::string_view text)
{
    std::size_t first = 0;
    while (first < text.size() && isPlainAscii(static_cast<unsigned char>(text[first]))) {
        ++first;
    }
    if (first == text.size()) {
        return std::string(text);
    }
    std::string out(text.substr(0, first));
    out.reserve(text.size() + 16);
    for (std::size_t i = first; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (isPlainAscii(byte)) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        if (byte == '\n') {
            out += "\\n";
            ++i;
            continue;
        }
        if (byte == '\\') {
            out += "\\\\";
            ++i;
            continue;
        }
        std::uint32_t code = 0;
        std::size_t length = byte < 0x80 ? 0 : decode(text, i, code);
        if (length == 0) {
            appendByteEscape(out, byte);
            ++i;
        } else if (code <= 0x9F) {
            appendByteEscape(out, code);  // C1 controls
            i += length;
        } else if (isInvisible(code)) {
            appendCodeEscape(out, code);
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string LogText::clip(std::string_view argument, std::size_t limit)
{
    if (argument.size() <= limit) {
        return std::string(argument);
    }
    std::size_t cut = limit;
    // Back to the start of a character (at most three continuation bytes).
    for (int step = 0; step < 3 && cut > 0 && (static_cast<unsigned char>(argument[cut]) & 0xC0) == 0x80; ++step) {
        --cut;
    }
    std::string out(argument.substr(0, cut));
    out += "\u2026 (" + std::to_string(argument.size()) + " bytes)";
    return out;
}

}  // namespace tess
