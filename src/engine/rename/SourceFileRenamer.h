#pragma once

#include "core/Error.h"
#include "rename/BatchRecorder.h"
#include "rename/FileSystemOps.h"
#include "rename/ItemIdentity.h"
#include "rename/RenameInstruction.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tess {

// The renamer: a namespace of static operations, never instantiated.
//
// Every path handed in or out holds raw bytes. Every file-system call goes
// through a FileSystemOps (the real POSIX one unless a caller passes another).
// Moves never replace an existing item, and nothing is ever removed
// recursively: folders go with rmdir, files with unlink.
class SourceFileRenamer {
public:
    SourceFileRenamer() = delete;

    // What a privileged callback answers.
    struct PrivilegedReply {
        bool success = false;
        std::string message;
        // The helper will do nothing more for this caller: it refused (its
        // authorisation said no) or it could not be reached.
        bool helperUnavailable = false;
        // No answer came in time. One such call may be waiting for the user
        // to authenticate; a second in a row ends the helper's part in the
        // batch (untilUnavailable).
        bool timedOut = false;
    };
    // (absolute source path, absolute destination path) -> reply.
    using PrivilegedRename = std::function<PrivilegedReply(const std::string&, const std::string&)>;
    // (absolute folder path) -> reply; creates the folder and missing parents.
    using PrivilegedCreateDirectory = std::function<PrivilegedReply(const std::string&)>;
    // (absolute path) -> reply; removes one file or one empty folder.
    using PrivilegedRemove = std::function<PrivilegedReply(const std::string&)>;
    // (absolute path) -> reply; removes one empty folder (never a file, a
    // link or a folder with anything in it).
    using PrivilegedRemoveDirectory = std::function<PrivilegedReply(const std::string&)>;
    // (absolute template folder, absolute target folder) -> reply; the
    // target takes the template's owner, group and mode (a failure when it
    // cannot), and its ACLs, extended attributes and times as far as it can
    // (what it could not is named in the message of a success).
    using PrivilegedApplyAttributes = std::function<PrivilegedReply(const std::string&, const std::string&)>;

    // Everything a batch may ask of the privileged helper; each call is
    // optional, and a batch without one reports the failure it would have
    // repaired.
    struct PrivilegedCalls {
        PrivilegedRename rename;
        PrivilegedCreateDirectory createDirectory;
        PrivilegedRemoveDirectory removeDirectory;
        PrivilegedApplyAttributes applyAttributes;
    };

    // The same calls for one batch: once a reply says the helper is
    // unavailable, every later call answers that same reply at once,
    // without asking the helper again (no second password prompt, no wait
    // per item for a helper that is gone).
    static PrivilegedCalls untilUnavailable(PrivilegedCalls calls);

    struct RenamedItem {
        std::string original;
        std::string newPath;
        friend bool operator==(const RenamedItem&, const RenamedItem&) = default;
    };
    struct FailedItem {
        std::string path;
        Error error;
    };

    // One change a folder merge made, root-relative: an item moved into the
    // existing folder (`to` set), or a subfolder it emptied into its
    // counterpart and removed (`to` empty).
    struct MergedItem {
        std::string from;
        std::string to;
        // The folder merged into was made by this batch (as a missing parent).
        bool intoCreatedFolder = false;
        // A folder moved whole.
        bool isDirectory = false;
        friend bool operator==(const MergedItem&, const MergedItem&) = default;
    };

    // A folder made in place of another (the final path of a renamed
    // folder, or the former path of one an undo brings back) that does not
    // have the other's owner, group and mode.
    struct FolderNotKept {
        std::string folder;  // root-relative
        // What it has, what it should have, and why not: one sentence part
        // for the user.
        std::string description;
    };

    struct RenameBatchResult {
        // (currentRelativePath, targetRelativePath) of every moved item: files
        // in input order, then folders in processing order.
        std::vector<RenamedItem> renamed;
        // currentRelativePath of every instruction that failed, in processing order.
        std::vector<FailedItem> failed;
        // Root-relative paths of the folders this batch really created.
        std::set<std::string> createdDirectories;
        // currentRelativePath of every folder merged into an existing folder
        // and then removed.
        std::vector<std::string> mergedDirectories;
        // The identity of each item of `renamed` (same index), read just
        // before it moved.
        std::vector<ItemIdentity> renamedIdentities;
        // What the folder merges moved and removed, in order; kept when a
        // merge stops part way.
        std::vector<MergedItem> mergedItems;
        // Instructions that failed because their source was not there (each
        // is in `failed`; the log names the first only).
        std::size_t missingSources = 0;
        // Folders made in place of renamed ones that hold items (or whose
        // renamed folder is gone) and could not be given its owner, group
        // and mode.
        std::vector<FolderNotKept> foldersNotKept;
    };

    // How a folder merge ended.
    struct MergeOutcome {
        enum class Stop { none,
            conflict,  // `name` exists on both sides and is not a folder on both
            unlisted,  // a folder's entries could not be listed (`error`)
            moveFailed,  // `name` could not be moved (`error`: errno, or the privileged reply)
            notRecorded };  // the recorder refused a step (`error`): nothing further was done
        Stop stop = Stop::none;
        std::string name;
        Error error;
        // The entry's path and its destination when the merge stopped at it.
        std::string from;
        std::string to;
        std::vector<MergedItem> changes;
        // The first emptied subfolder that could not be removed, and why
        // (the merged folder cannot be removed then).
        std::string unremovedSubfolder;
        std::string unremovedReason;
        bool ok() const { return stop == Stop::none; }
    };

    struct RenameVerification {
        enum class VerificationStatus { verified,
            sourceStillExists,
            targetMissing,
            both };
        std::string originalPath;
        std::string targetPath;
        VerificationStatus status = VerificationStatus::verified;
        // When not empty, the sentence to show in place of the status's own
        // description: the identity check or a read error found something
        // the status alone would misstate (another item at the target, a
        // path that could not be read). It never advises deleting anything.
        std::string detail = {};
    };

    struct CleanupResult {
        std::vector<std::string> removedDirectories;  // absolute, in removal order
        int failureCount = 0;
    };

    // The domain of the error values built from errno (never shown to users).
    static constexpr const char* kPosixErrorDomain = "posix";

    // --- batch -----------------------------------------------------------

    // Moves all files first, each straight to its final path (missing parent
    // folders are created), then the folders, deepest first; a folder whose
    // final path already holds a folder is merged into it. Never throws; every
    // problem becomes an entry of `failed` and an ERROR log line.
    static RenameBatchResult renameFiles(const std::vector<RenameInstruction>& instructions,
        const std::string& root,
        const std::string& errorDomain,
        const PrivilegedRename& privilegedRename = {},
        const PrivilegedCreateDirectory& privilegedCreateDirectory = {},
        FileSystemOps& fs = FileSystemOps::posix());

    // The same batch, announcing every step to `recorder` before taking it.
    // When an announcement fails, that step and every later instruction
    // fail with the reason and nothing further is touched.
    static RenameBatchResult renameFiles(const std::vector<RenameInstruction>& instructions,
        const std::string& root,
        const std::string& errorDomain,
        const PrivilegedRename& privilegedRename,
        const PrivilegedCreateDirectory& privilegedCreateDirectory,
        FileSystemOps& fs,
        BatchRecorder& recorder);

    // The batch with every privileged call: besides moves and folder
    // creation, a merged folder that this process may not remove is removed
    // by the helper, and a folder made in place of a renamed one gets the
    // renamed folder's owner, group and mode from the helper where this
    // process cannot give them. `recorder` may be null.
    static RenameBatchResult renameFiles(const std::vector<RenameInstruction>& instructions,
        const std::string& root,
        const std::string& errorDomain,
        const PrivilegedCalls& privileged,
        FileSystemOps& fs,
        BatchRecorder* recorder);

    // --- verification and diagnosis --------------------------------------

    static RenameVerification verifyRename(const RenameInstruction& instruction, const std::string& root,
        FileSystemOps& fs = FileSystemOps::posix());

    // As above, comparing what is at the two paths with `before`, the
    // item's identity from before it moved (nothing: unknown). An item at the
    // target that is not the moved one never counts as the renamed item.
    static RenameVerification verifyRename(const RenameInstruction& instruction, const std::string& root,
        const std::optional<ItemIdentity>& before, FileSystemOps& fs = FileSystemOps::posix());

    // Verifies every instruction of a batch with the identities `batch`
    // recorded; returns the verifications that failed, in instruction order.
    static std::vector<RenameVerification> verifyBatch(const std::vector<RenameInstruction>& instructions,
        const std::string& root, const RenameBatchResult& batch, FileSystemOps& fs = FileSystemOps::posix());

    // Inserts into `out` every missing folder from `directory` up to, but not
    // including, the first existing ancestor or `root`, as root-relative paths.
    static void collectMissingParentDirectories(const std::string& directory, const std::string& root,
        std::set<std::string>& out, FileSystemOps& fs = FileSystemOps::posix());

    // One move that never replaces; a failure is the posixError of its
    // errno. A change of letter case only, on a volume that ignores case,
    // goes through a unique temporary name in the same folder.
    static Status posixRename(const std::string& source, const std::string& destination,
        FileSystemOps& fs = FileSystemOps::posix());

    // Explains why a move was refused; logs its findings and returns a
    // one-line summary.
    static std::string diagnosePermissionFailure(const std::string& source, const std::string& destination,
        FileSystemOps& fs = FileSystemOps::posix());

    // Exactly ".DS_Store" and "Thumbs.db" (case-sensitive).
    static const std::set<std::string>& metadataFileNames();

    // The names in `directory` when every entry is a metadata file (an empty
    // list for an empty folder); no value otherwise or when it cannot be listed.
    static std::optional<std::vector<std::string>> metadataOnlyContents(const std::string& directory,
        FileSystemOps& fs = FileSystemOps::posix());

    // Removes the named metadata files from `directory`; false at the first
    // one that cannot be removed.
    static bool removeMetadataFiles(const std::vector<std::string>& names, const std::string& directory,
        FileSystemOps& fs = FileSystemOps::posix(), const PrivilegedRemove& privilegedRemove = {});

    // The names of a folder's entries for a sentence: the first five, then
    // how many more ("a, b, c, d, e and 2 more").
    static std::string namesForSentence(const std::vector<FileSystemOps::DirEntry>& entries);

    // --- clean-up --------------------------------------------------------

    // Removes folders below `startFolder` that are empty or hold only metadata
    // files, deepest first, then `startFolder` itself; never `root`, never
    // anything outside it, never through a symbolic link.
    static CleanupResult cleanupEmptyDirectories(const std::string& startFolder, const std::string& root,
        FileSystemOps& fs = FileSystemOps::posix(), const PrivilegedRemove& privilegedRemove = {});

    // The same, announcing each folder to `recorder` (when given) before it
    // is removed, as a root-relative path; a folder whose announcement
    // fails is left in place and counted as a failure.
    static CleanupResult cleanupEmptyDirectories(const std::string& startFolder, const std::string& root,
        FileSystemOps& fs, const PrivilegedRemove& privilegedRemove, BatchRecorder* recorder);

    // --- working steps ---------------------------------------------------

    // Moves one item; on a permission error asks `privilegedRename`. A
    // failure is logged and answered as one error of `errorDomain` with the
    // text for the user.
    static Status moveItem(const std::string& source, const std::string& destination,
        const PrivilegedRename& privilegedRename, const std::string& errorDomain,
        FileSystemOps& fs = FileSystemOps::posix());

    // Merges what is left in `sourceFolder` into the existing `targetFolder`,
    // recursively; false at the first conflict or failure.
    static bool moveRemainingContents(const std::string& sourceFolder, const std::string& targetFolder,
        FileSystemOps& fs = FileSystemOps::posix(), const PrivilegedRename& privilegedRename = {});

    // The same merge, saying why it stopped and what it changed (paths
    // relative to `root`), and announcing each move and each emptied
    // subfolder's removal to `recorder` (when given) before it is made. The
    // helper moves what this process may not, and removes an emptied
    // subfolder that this process may not remove.
    static MergeOutcome mergeFolder(const std::string& sourceFolder, const std::string& targetFolder,
        const std::string& root, FileSystemOps& fs, const PrivilegedCalls& privileged, BatchRecorder* recorder);

    static bool isPermissionError(const Error& error);

    // Appends every real (not symbolic-link) folder below `folder`, pre-order.
    static void collectSubdirectories(const std::string& folder, std::vector<std::string>& out,
        FileSystemOps& fs = FileSystemOps::posix());

    // The error value for an errno (domain kPosixErrorDomain, strerror text).
    static Error posixError(int errorNumber);
};

}  // namespace tess
