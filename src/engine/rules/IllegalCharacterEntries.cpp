#include "rules/IllegalCharacterEntries.h"

#include "rules/ControlCharacters.h"

namespace tess {

std::vector<std::pair<std::string, std::string>> illegalCharacterTranslationEntries(const CodePointSet& illegalCharacters)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (char32_t cp = 0x20; cp <= 0x7E; ++cp) {
        if (illegalCharacters.count(cp) != 0 && !ControlCharacters::contains(cp)) {
            out.emplace_back(std::string(1, static_cast<char>(cp)), "_");
        }
    }
    return out;
}

}  // namespace tess
