#pragma once

#include "core/Error.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tess {

// The two ways a destination probe fails. Each is an ordinary tess::Error in
// kDomain whose code is the kind and whose message is the user-facing
// description.
class FilesystemDetectorError {
public:
    static constexpr const char* kDomain = "app.quenby.Tessaline.FilesystemDetectorError";

    enum class Kind : std::int64_t {
        writeAccessFailed = 1,
        probeDirectorySetupFailed = 2,
    };

    // "Cannot probe destination — write access failed: " + detail
    static Error writeAccessFailed(const std::string& detail);
    // "Cannot probe destination — failed to create probe directory: " + detail
    static Error probeDirectorySetupFailed(const std::string& detail);

    // The kind of a probe error; nothing for any other error.
    static std::optional<Kind> kindOf(const Error& error);
};

}  // namespace tess
