#pragma once

// Texts of the translation table editor, over plain values.

#include <QString>

#include <cstddef>
#include <string_view>

namespace tess {

// The key's Unicode scalars as "U+XXXX" (upper case, at least four digits)
// joined by single spaces: "A" gives "U+0041", "%20" gives
// "U+0025 U+0032 U+0030"; an empty key gives an empty text.
QString hexText(std::string_view key);

// "(n entries)", the same word for every count.
QString entryCountText(std::size_t count);

}  // namespace tess
