#include "RulesTestSupport.h"

#include "rules/ControlCharacters.h"

namespace tess::test {

std::string nonControlMembers(const CodePointSet& set)
{
    std::string out;
    for (char32_t cp : set) {
        if (!ControlCharacters::contains(cp)) {
            text::appendUtf8(out, cp);
        }
    }
    return out;
}

std::vector<std::string> members(const CanonicalStringSet& set)
{
    return std::vector<std::string>(set.begin(), set.end());
}

}  // namespace tess::test
