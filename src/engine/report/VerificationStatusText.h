#pragma once

#include "rename/SourceFileRenamer.h"

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// The texts of a rename verification's status as reports and history files
// write them.
class VerificationStatusText {
public:
    using Status = SourceFileRenamer::RenameVerification::VerificationStatus;

    VerificationStatusText() = delete;

    // "verified", "sourceStillExists", "targetMissing" or "bothExist".
    static std::string_view token(Status status);
    // The sentence shown to the user; each holds " — " (U+2014).
    static std::string_view description(Status status);
    // The failed status a history record's text stores: the status whose
    // description is exactly `text`, or the status a check's own sentence
    // tells (VerificationSentences); nothing for any other text, including
    // the description of `verified`, which no failed verification carries.
    static std::optional<Status> failedStatusFromDescription(std::string_view text);
    // What a report shows of a verification: its own sentence where the
    // check has one (the item at a path is not the renamed one, a path could
    // not be read), else the description of its status.
    static std::string text(const SourceFileRenamer::RenameVerification& verification);
};

}  // namespace tess
