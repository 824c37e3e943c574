#include "helperclient/XPCError.h"

#include <string>

namespace tess {

std::string_view xpcErrorDescription(XPCError error)
{
    switch (error) {
    case XPCError::proxyCreationFailed:
        return "Failed to create XPC proxy connection to helper tool";
    case XPCError::timeout:
        return "XPC call timed out waiting for helper response";
    case XPCError::noResult:
        return "XPC call completed but returned no result";
    }
    return "XPC call completed but returned no result";
}

Error makeXPCError(XPCError error)
{
    return Error {kXPCErrorDomain, static_cast<std::int64_t>(error), std::string(xpcErrorDescription(error))};
}

std::optional<XPCError> xpcErrorFrom(const Error& error)
{
    if (error.domain != kXPCErrorDomain) {
        return std::nullopt;
    }
    switch (error.code) {
    case static_cast<std::int64_t>(XPCError::proxyCreationFailed):
        return XPCError::proxyCreationFailed;
    case static_cast<std::int64_t>(XPCError::timeout):
        return XPCError::timeout;
    case static_cast<std::int64_t>(XPCError::noResult):
        return XPCError::noResult;
    default:
        return std::nullopt;
    }
}

}  // namespace tess
