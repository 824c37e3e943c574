#pragma once

#include "rules/RuleTypes.h"

namespace tess {

// The control-character set: every code point of the general categories Cc
// and Cf. Part of every illegal-character set of a destination preset and of
// a client system.
class ControlCharacters {
public:
    // Built on first use, then shared (thread-safe).
    static const CodePointSet& set();
    static bool contains(char32_t codePoint);
};

}  // namespace tess
