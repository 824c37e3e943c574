#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace tess {

// What makes an item the same item after it moved: its device, its inode and
// its kind. Content is not identity: a file another program writes to while
// the batch runs (a log, a download) keeps its device and inode and is still
// the renamed item; a file put in its place is another inode, and a folder
// replaced by a file is another kind.
struct ItemIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    mode_t kind = 0;  // the S_IFMT bits

    static ItemIdentity of(const struct stat& status)
    {
        return {status.st_dev, status.st_ino, static_cast<mode_t>(status.st_mode & S_IFMT)};
    }

    // `status` describes this item.
    bool matches(const struct stat& status) const
    {
        return status.st_dev == device && status.st_ino == inode && static_cast<mode_t>(status.st_mode & S_IFMT) == kind;
    }

    friend bool operator==(const ItemIdentity&, const ItemIdentity&) = default;
};

}  // namespace tess
