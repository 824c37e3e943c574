#pragma once

#include "rename/FileSystemOps.h"
#include "rename/SourceFileRenamer.h"

#include <cstddef>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace tess {

// The folders a batch makes in place of others ("stand-ins"): the final path
// of a renamed folder, a folder inside one made under its new name, or, in an
// undo, the former path of a folder made again. A stand-in takes its
// original's owner, group, mode, ACLs, extended attributes and times.
//
// As soon as a stand-in is made, this process gives it what it may. Where it
// cannot (the original belongs to someone else, or the helper made the
// stand-in), the helper gives it the original's attributes at once, before
// anything is moved in: no item ever sits in a folder with another owner or
// a wider mode than its own folder had, and a stand-in the helper made for
// the user's own folder becomes the user's, so the user's own moves into it
// go on. The times follow once everything is in (`finishWithin`), from the
// original's status from before the batch, where this process may set them;
// a stand-in that belongs to someone else keeps the times of the last move
// into it (a WARN line says so), since the helper copies a folder's present
// times and the original's have changed by then.
class StandInFolders {
public:
    // `root` is the scan root, against which `notKept` names folders.
    StandInFolders(std::string root, FileSystemOps& fs, SourceFileRenamer::PrivilegedApplyAttributes applyAttributes);

    // `standIn` was just made for `original`, whose lstat from before the
    // batch is `originalStatus`. A stand-in already known is left as it is.
    void made(const std::string& standIn, const std::string& original, const struct stat& originalStatus);
    bool contains(const std::string& standIn) const { return m_byPath.count(standIn) != 0; }

    // The batch removed `original` (emptied into its stand-in).
    void originalRemoved(const std::string& original);

    // Nothing more will be moved into the stand-ins at or below `folder`:
    // they take their originals' times. Each is finished once.
    void finishWithin(const std::string& folder);
    void finishAll();

    // The stand-ins that do not have their original's owner, group and mode
    // and that matter: they hold items, or they replace their original,
    // which the batch removed. In the order they were made.
    std::vector<SourceFileRenamer::FolderNotKept> notKept() const;

    // The sentence a result message ends with for `folders`; empty for none.
    static std::string describe(const std::vector<SourceFileRenamer::FolderNotKept>& folders);

private:
    struct StandIn {
        std::string path;
        std::string original;
        struct stat status;
        // Why the owner, group or mode could not be given; empty when given.
        std::string reason;
        bool finished = false;
        bool originalRemoved = false;
    };

    void finish(StandIn& standIn);
    std::string relative(const std::string& path) const;

    std::string m_root;
    FileSystemOps& m_fs;
    SourceFileRenamer::PrivilegedApplyAttributes m_applyAttributes;
    std::vector<StandIn> m_standIns;
    std::unordered_map<std::string, std::size_t> m_byPath;
    std::unordered_multimap<std::string, std::size_t> m_byOriginal;
    // The stand-ins not finished yet, by path: those at or below a folder
    // are one range.
    std::map<std::string, std::size_t> m_unfinished;
};

}  // namespace tess
