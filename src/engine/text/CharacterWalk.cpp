#include "text/CharacterWalk.h"

#include <unicode/uchar.h>

namespace tess::text {

bool bytesAreCharacters(std::string_view s)
{
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\r') {
            return false;
        }
    }
    return true;
}

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
    if (length == 0 || length > s.size() || !isValidUtf8(s.substr(0, length))) {
        return 0;
    }
    return length;
}

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
    forEachCodePoint(character, [&](char32_t cp) {
        if (!seen) {
            first = cp;
            seen = true;
        }
    });
    return seen && u_getIntPropertyValue(static_cast<UChar32>(first), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

}  // namespace tess::text
