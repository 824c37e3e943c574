#include "probe/FilesystemDetectorError.h"

namespace tess {

Error FilesystemDetectorError::writeAccessFailed(const std::string& detail)
{
    return Error {kDomain, static_cast<std::int64_t>(Kind::writeAccessFailed),
        "Cannot probe destination \u2014 write access failed: " + detail};
}

Error FilesystemDetectorError::probeDirectorySetupFailed(const std::string& detail)
{
    return Error {kDomain, static_cast<std::int64_t>(Kind::probeDirectorySetupFailed),
        "Cannot probe destination \u2014 failed to create probe directory: " + detail};
}

std::optional<FilesystemDetectorError::Kind> FilesystemDetectorError::kindOf(const Error& error)
{
    if (error.domain != kDomain) {
        return std::nullopt;
    }
    switch (error.code) {
    case static_cast<std::int64_t>(Kind::writeAccessFailed):
        return Kind::writeAccessFailed;
    case static_cast<std::int64_t>(Kind::probeDirectorySetupFailed):
        return Kind::probeDirectorySetupFailed;
    default:
        return std::nullopt;
    }
}

}  // namespace tess
