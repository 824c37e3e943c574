#pragma once

namespace tess {

// The value of a hexadecimal digit (either case), or -1 for any other
// character. Takes char or char32_t.
template <class Char>
constexpr int hexDigitValue(Char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<int>(c - 'a' + 10);
    }
    return -1;
}

}  // namespace tess
