#include "rules/RuleTypes.h"

#include <algorithm>

namespace tess {

bool canonicallyEqualSets(const CanonicalStringSet& a, const CanonicalStringSet& b)
{
    // Both sets are ordered by the same canonical order, so equal sets hold
    // equivalent members at the same positions.
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](const std::string& x, const std::string& y) {
               return text::canonicallyEqual(x, y);
           });
}

}  // namespace tess
