#include "report/VerificationStatusText.h"

#include "rename/VerificationSentences.h"

#include <array>

namespace tess {

std::string_view VerificationStatusText::token(Status status)
{
    switch (status) {
    case Status::verified:
        return "verified";
    case Status::sourceStillExists:
        return "sourceStillExists";
    case Status::targetMissing:
        return "targetMissing";
    case Status::both:
        return "bothExist";
    }
    return "targetMissing";
}

std::string_view VerificationStatusText::description(Status status)
{
    switch (status) {
    case Status::verified:
        return "Verified — rename succeeded.";
    case Status::sourceStillExists:
        return "Original still exists, target missing — rename did not take effect. Check if the file is locked "
               "or in use by another app.";
    case Status::targetMissing:
        return "Neither original nor target found — the file may have been moved or deleted externally.";
    case Status::both:
        return "Both original and target exist — the original was not removed. Manually delete the original if "
               "the target is correct.";
    }
    return description(Status::targetMissing);
}

std::string VerificationStatusText::text(const SourceFileRenamer::RenameVerification& verification)
{
    return verification.detail.empty() ? std::string(description(verification.status)) : verification.detail;
}

std::optional<VerificationStatusText::Status> VerificationStatusText::failedStatusFromDescription(std::string_view text)
{
    static constexpr std::array kFailed {Status::sourceStillExists, Status::targetMissing, Status::both};
    for (Status status : kFailed) {
        if (text == description(status)) {
            return status;
        }
    }
    // A check's own sentence tells its status too.
    if (const std::optional<VerificationSentences::Reading> reading = VerificationSentences::read(text);
        reading && reading->status != Status::verified) {
        return reading->status;
    }
    return std::nullopt;
}

}  // namespace tess
