#include "rename/VerificationSentences.h"

#include <array>

namespace tess {

namespace {

using Status = VerificationSentences::Status;
using Finding = VerificationSentences::Finding;

struct FindingText {
    Finding finding;
    Status status;
    std::string_view sentence;
    // What identifies the sentence when read back: the words before its
    // advice, which earlier versions already wrote.
    std::size_t keyLength;
};

constexpr std::string_view kTargetHolds
    = "Target holds another item — the original was not renamed and is still in place. Do not delete it: move the "
      "item at the target away, then retry.";
constexpr std::string_view kBothHold
    = "Both original and target hold other items — the renamed item is at neither path. Do not delete either; it "
      "may have been moved externally.";
constexpr std::string_view kNeitherHolds
    = "Neither original nor target holds the renamed item — the target is another item. The file may have been "
      "moved or deleted externally.";
constexpr std::string_view kOriginalHolds
    = "Original path holds another item, target missing — the renamed item is at neither path. It may have been "
      "moved or deleted externally.";
constexpr std::string_view kUnconfirmed
    = "Both original and target exist — the target could not be confirmed as the renamed item. Compare the two "
      "before deleting either.";

constexpr std::array<FindingText, 5> kFindings {{
    {Finding::targetHoldsAnotherItem, Status::sourceStillExists, kTargetHolds, std::string_view("Target holds another item — ").size()},
    {Finding::bothHoldOtherItems, Status::both, kBothHold, std::string_view("Both original and target hold other items — ").size()},
    {Finding::neitherHoldsTheItem, Status::targetMissing, kNeitherHolds,
        std::string_view("Neither original nor target holds the renamed item — ").size()},
    {Finding::originalHoldsAnotherItem, Status::targetMissing, kOriginalHolds,
        std::string_view("Original path holds another item, target missing — ").size()},
    {Finding::targetUnconfirmed, Status::both, kUnconfirmed,
        std::string_view("Both original and target exist — the target could not be confirmed").size()},
}};

const FindingText& textOf(Finding finding)
{
    for (const FindingText& text : kFindings) {
        if (text.finding == finding) {
            return text;
        }
    }
    return kFindings[0];
}

constexpr std::string_view kUnreadableStart = "Could not be verified — ";

// The closing words of an unreadable path's sentence: which names were found.
struct FoundText {
    Status status;
    std::string_view text;
};
constexpr std::array<FoundText, 4> kFound {{
    {Status::verified, " Only the new name was found."},
    {Status::sourceStillExists, " Only the original name was found."},
    {Status::targetMissing, " Neither name was found."},
    {Status::both, " Both names were found."},
}};

}  // namespace

std::string_view VerificationSentences::sentence(Finding finding)
{
    return textOf(finding).sentence;
}

VerificationSentences::Status VerificationSentences::statusOf(Finding finding)
{
    return textOf(finding).status;
}

std::string VerificationSentences::unreadable(const std::string& path, const std::string& reason,
    const std::string& diagnosis, Status status)
{
    std::string out(kUnreadableStart);
    out += path + ": " + reason + ".";
    if (!diagnosis.empty()) {
        out += " " + diagnosis;
    }
    for (const FoundText& found : kFound) {
        if (found.status == status) {
            out += found.text;
        }
    }
    return out;
}

std::optional<VerificationSentences::Reading> VerificationSentences::read(std::string_view stored)
{
    for (const FindingText& text : kFindings) {
        if (stored.starts_with(text.sentence.substr(0, text.keyLength))) {
            const bool another = text.finding == Finding::targetHoldsAnotherItem || text.finding == Finding::bothHoldOtherItems
                || text.finding == Finding::neitherHoldsTheItem;
            return Reading {text.status, another};
        }
    }
    if (stored.starts_with(kUnreadableStart)) {
        for (const FoundText& found : kFound) {
            if (stored.ends_with(found.text)) {
                return Reading {found.status, false};
            }
        }
    }
    return std::nullopt;
}

}  // namespace tess
