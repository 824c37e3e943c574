#pragma once

#include "HelperSelector.h"

#include <string>
#include <string_view>
#include <vector>

namespace tess {

// One call to the daemon: the operation and its string arguments (paths are
// raw bytes; they need not be valid UTF-8).
struct HelperRequest {
    HelperSelector selector = HelperSelector::testConnection;
    std::vector<std::string> arguments;

    friend bool operator==(const HelperRequest&, const HelperRequest&) = default;
};

// The daemon's answer: a flag and a message. The version operation answers
// with the version in `message` and its description in `detail`; every other
// operation leaves `detail` empty.
struct HelperReply {
    bool success = false;
    std::string message;
    std::string detail;

    friend bool operator==(const HelperReply&, const HelperReply&) = default;
};

// The message of a failed reply to an operation that the daemon's
// authorisation (polkit) refused begins with this text, then says why.
inline constexpr std::string_view kNotAuthorizedPrefix = "Not authorized: ";

}  // namespace tess
