#pragma once

#include "rename/SourceFileRenamer.h"

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// The sentences a verification gives in place of its status's own
// description, where the status alone would misstate what it found (another
// item at a path, a path that could not be read), and the reading of such a
// sentence back from a history file: each sentence tells its status, so a
// record read back says what the batch reported.
class VerificationSentences {
public:
    using Status = SourceFileRenamer::RenameVerification::VerificationStatus;

    VerificationSentences() = delete;

    enum class Finding {
        targetHoldsAnotherItem,  // the item is still at its old name, another at the target
        bothHoldOtherItems,
        neitherHoldsTheItem,  // the target holds another item, the old name nothing
        originalHoldsAnotherItem,  // the target is missing, the old name holds another item
        targetUnconfirmed,  // both names exist and the item's identity was not known
    };

    // The sentence of a finding; none advises deleting anything.
    static std::string_view sentence(Finding finding);
    static Status statusOf(Finding finding);

    // A path could not be read: "Could not be verified — <path>: <reason>.",
    // the diagnosis when there is one, then which names were found.
    static std::string unreadable(const std::string& path, const std::string& reason, const std::string& diagnosis,
        Status status);

    struct Reading {
        Status status = Status::targetMissing;
        // The verification found another item than the renamed one at the
        // new name: an undo must not move it.
        bool targetIsAnotherItem = false;
        friend bool operator==(const Reading&, const Reading&) = default;
    };
    // What a stored sentence says: one of the sentences above (also as
    // earlier versions wrote them); nothing for any other text, such as a
    // status's own description.
    static std::optional<Reading> read(std::string_view stored);
};

}  // namespace tess
