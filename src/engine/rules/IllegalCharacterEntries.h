#pragma once

#include "rules/RuleTypes.h"

#include <string>
#include <utility>
#include <vector>

namespace tess {

// The printable-ASCII members (U+0020-U+007E, ascending) of a set of illegal
// code points, each paired with "_"; control characters are left out.
std::vector<std::pair<std::string, std::string>> illegalCharacterTranslationEntries(const CodePointSet& illegalCharacters);

}  // namespace tess
