#pragma once

#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

namespace tess {

// What makes an item the same item after it moved: its device and inode, its
// kind and, for a regular file, its size. A folder's size is not compared
// (it changes as entries move in and out).
struct ItemIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    mode_t kind = 0;  // the S_IFMT bits
    off_t size = 0;

    static ItemIdentity of(const struct stat& status)
    {
        return {status.st_dev, status.st_ino, static_cast<mode_t>(status.st_mode & S_IFMT), status.st_size};
    }

    // `status` describes this item.
    bool matches(const struct stat& status) const
    {
        const mode_t statusKind = status.st_mode & S_IFMT;
        return status.st_dev == device && status.st_ino == inode && statusKind == kind
            && (kind != S_IFREG || status.st_size == size);
    }

    friend bool operator==(const ItemIdentity&, const ItemIdentity&) = default;
};

}  // namespace tess
