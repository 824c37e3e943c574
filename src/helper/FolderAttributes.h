#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tess {

// Gives one folder the attributes of another: owner and group, the
// permission bits with the set-id and sticky bits, the access and default
// ACLs, the `user.` extended attributes, and the access and modification
// times. Both folders are open descriptors (not O_PATH ones), so nothing
// here resolves a path.
//
// Owner and group, then the mode, are required: the first of them that
// cannot be set ends the copy. Every later step is done as far as it can
// be, and each one that fails is named. The target takes the template's
// ACLs as they are, none included (a folder made in a folder with a default
// ACL inherited one); its own `user.` attributes that the template lacks stay.
class FolderAttributes {
public:
    FolderAttributes() = delete;

    struct Step {
        std::string what;  // "owner and group", "access ACL", "extended attribute user.x", ...
        int error = 0;

        // what + ": " + the system's text for `error`.
        std::string describe() const;
    };

    struct Outcome {
        std::optional<Step> requiredFailure;  // owner and group, or the mode, could not be set
        std::vector<Step> notCopied;  // the other steps that failed, in order
    };

    // `templateStatus` is the template's fstat.
    static Outcome apply(int templateFd, const struct stat& templateStatus, int targetFd);
};

}  // namespace tess
