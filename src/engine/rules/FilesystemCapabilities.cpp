#include "rules/FilesystemCapabilities.h"

namespace tess {

bool operator==(const FilesystemCapabilities& a, const FilesystemCapabilities& b)
{
    return a.isCaseSensitive == b.isCaseSensitive
        && a.encodingCapability == b.encodingCapability
        && a.maxFilenameLength == b.maxFilenameLength
        && a.maxPathDepth == b.maxPathDepth
        && a.maxPathLength == b.maxPathLength
        && a.illegalCharacters == b.illegalCharacters
        && canonicallyEqualSets(a.reservedNames, b.reservedNames)
        && a.supportsPosixPermissions == b.supportsPosixPermissions
        && a.supportsExtendedAttributes == b.supportsExtendedAttributes
        && a.supportsACLs == b.supportsACLs;
}

}  // namespace tess
