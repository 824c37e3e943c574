#include "Utf8.h"

#include <cstddef>

namespace tess {

bool Utf8::isWellFormed(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length;
        char32_t minimum;
        char32_t value;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2, minimum = 0x80, value = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3, minimum = 0x800, value = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4, minimum = 0x10000, value = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace tess
