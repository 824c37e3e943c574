#pragma once

#include <string_view>

namespace tess {

// The UTF-8 check of the daemon and the programs it runs: well-formed means
// no overlong form, no surrogate and nothing past U+10FFFF.
class Utf8 {
public:
    Utf8() = delete;

    static bool isWellFormed(std::string_view text);
};

}  // namespace tess
