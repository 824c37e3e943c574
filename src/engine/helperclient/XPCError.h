#pragma once

#include "core/Error.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace tess {

// Why a blocking call to the daemon has no answer to give.
enum class XPCError : std::int64_t {
    proxyCreationFailed,  // no connection to the daemon could be made
    timeout,  // no reply within the caller's time-out
    noResult,  // the daemon went away or answered nothing readable
};

// The user-facing text of each case.
std::string_view xpcErrorDescription(XPCError error);

// Errors of the daemon client carry this domain and the case as their code.
inline constexpr const char* kXPCErrorDomain = "app.quenby.Tessaline.XPCError";

Error makeXPCError(XPCError error);
// The case of an error made by makeXPCError; empty for any other error.
std::optional<XPCError> xpcErrorFrom(const Error& error);

}  // namespace tess
