#pragma once

#include "rules/OSPathLimit.h"
#include "rules/OSPreset.h"
#include "rules/RuleTypes.h"

#include <optional>
#include <set>
#include <vector>

namespace tess {

// What a client operating system allows. Nothing in an optional field means
// the system does not decide it by itself.
struct OSCapabilities {
    std::optional<bool> isCaseSensitive;
    std::optional<OSPathLimit> maxFilenameLength;
    std::optional<OSPathLimit> maxPathLength;
    CodePointSet illegalCharacters;
    CanonicalStringSet reservedNames;

    // The capabilities of each member, in the set's order.
    static std::vector<OSCapabilities> forOperatingSystems(const std::set<OSPreset>& systems);

    friend bool operator==(const OSCapabilities& a, const OSCapabilities& b);
};

}  // namespace tess
