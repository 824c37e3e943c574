#include "rules/OSCapabilities.h"

namespace tess {

std::vector<OSCapabilities> OSCapabilities::forOperatingSystems(const std::set<OSPreset>& systems)
{
    std::vector<OSCapabilities> out;
    out.reserve(systems.size());
    for (OSPreset system : systems) {
        out.push_back(system.capabilities());
    }
    return out;
}

bool operator==(const OSCapabilities& a, const OSCapabilities& b)
{
    return a.isCaseSensitive == b.isCaseSensitive
        && a.maxFilenameLength == b.maxFilenameLength
        && a.maxPathLength == b.maxPathLength
        && a.illegalCharacters == b.illegalCharacters
        && canonicallyEqualSets(a.reservedNames, b.reservedNames);
}

}  // namespace tess
