// The verification of SourceFileRenamer: after a batch, is each item where
// it was planned to go?

#include "rename/SourceFileRenamer.h"

#include "rename/RenameChecks.h"
#include "rename/RenamePaths.h"
#include "rename/VerificationSentences.h"

#include <cerrno>
#include <string_view>
#include <unordered_map>

namespace tess {

namespace {

using VStatus = SourceFileRenamer::RenameVerification::VerificationStatus;

bool sameButForCase(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!RenamePaths::equalIgnoringCase(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

// `parts` below `base` exists with the exact spelling of every component
// that differs from `other`.
bool existsAsSpelled(FileSystemOps& fs, const std::string& base, const std::vector<std::string>& parts,
    const std::vector<std::string>& other)
{
    std::string path = base;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] != other[i] && !RenameChecks::listingHasName(fs, path, parts[i])) {
            return false;
        }
        path = RenamePaths::join(path, parts[i]);
    }
    return RenameChecks::exists(fs, path);
}

VStatus statusOf(bool sourceExists, bool targetExists)
{
    if (sourceExists) {
        return targetExists ? VStatus::both : VStatus::sourceStillExists;
    }
    return targetExists ? VStatus::verified : VStatus::targetMissing;
}

// What lstat saw at one path.
struct PathState {
    int error = ENOENT;
    struct stat status { };

    bool exists() const { return error == 0; }
    // Neither there nor absent: the path could not be read.
    bool unreadable() const { return error != 0 && error != ENOENT && error != ENOTDIR; }
};

PathState readPath(FileSystemOps& fs, const std::string& path)
{
    PathState state;
    state.error = fs.lstat(path, state.status);
    return state;
}

// Where the item is, told by its identity from before the move.
void classifyByIdentity(const ItemIdentity& before, const PathState& source, const PathState& target,
    SourceFileRenamer::RenameVerification& result)
{
    using Finding = VerificationSentences::Finding;
    const bool targetIsItem = target.exists() && before.matches(target.status);
    const bool sourceIsItem = source.exists() && before.matches(source.status);
    if (targetIsItem) {
        // Two names of the one item, or a new item made at the old name
        // after the move: either way the renamed item is at its target.
        result.status = sourceIsItem ? VStatus::both : VStatus::verified;
        return;
    }
    // The status tells where the item is: still at its old name, or at
    // neither path (both paths holding other items is told apart).
    std::optional<Finding> finding;
    if (target.exists() && sourceIsItem) {
        finding = Finding::targetHoldsAnotherItem;
    } else if (target.exists() && source.exists()) {
        finding = Finding::bothHoldOtherItems;
    } else if (target.exists()) {
        finding = Finding::neitherHoldsTheItem;
    } else if (source.exists() && !sourceIsItem) {
        finding = Finding::originalHoldsAnotherItem;
    }
    if (finding) {
        result.status = VerificationSentences::statusOf(*finding);
        result.detail = std::string(VerificationSentences::sentence(*finding));
        return;
    }
    result.status = sourceIsItem ? VStatus::sourceStillExists : VStatus::targetMissing;
}

}  // namespace

SourceFileRenamer::RenameVerification SourceFileRenamer::verifyRename(const RenameInstruction& instruction,
    const std::string& root, FileSystemOps& fs)
{
    return verifyRename(instruction, root, std::nullopt, fs);
}

SourceFileRenamer::RenameVerification SourceFileRenamer::verifyRename(const RenameInstruction& instruction,
    const std::string& root, const std::optional<ItemIdentity>& before, FileSystemOps& fs)
{
    const std::string base = RenamePaths::withoutTrailingSlash(root);
    const std::string source = RenamePaths::join(base, instruction.currentRelativePath);
    const std::string target = RenamePaths::join(base, instruction.targetRelativePath);
    RenameVerification result {instruction.currentRelativePath, instruction.targetRelativePath, VStatus::verified, {}};

    if (source == target) {
        result.status = RenameChecks::exists(fs, target) ? VStatus::verified : VStatus::targetMissing;
        return result;
    }
    const auto sourceParts = RenamePaths::components(instruction.currentRelativePath);
    const auto targetParts = RenamePaths::components(instruction.targetRelativePath);
    if (sameButForCase(sourceParts, targetParts)) {
        // Only letter case changed (of the name or of a folder above it): on
        // a volume that ignores case both spellings resolve to the one item,
        // so each changed component is looked up in its folder's listing.
        result.status = statusOf(existsAsSpelled(fs, base, sourceParts, targetParts),
            existsAsSpelled(fs, base, targetParts, sourceParts));
    } else {
        const PathState sourceState = readPath(fs, source);
        const PathState targetState = readPath(fs, target);
        const PathState& unreadable = sourceState.unreadable() ? sourceState : targetState;
        if (unreadable.unreadable()) {
            const Error error = posixError(unreadable.error);
            result.status = statusOf(sourceState.exists(), targetState.exists());
            result.detail = VerificationSentences::unreadable(&unreadable == &sourceState ? source : target, error.message,
                isPermissionError(error) ? diagnosePermissionFailure(source, target, fs) : std::string(), result.status);
            return result;
        }
        if (before) {
            classifyByIdentity(*before, sourceState, targetState, result);
            return result;
        }
        result.status = statusOf(sourceState.exists(), targetState.exists());
    }
    if (result.status == VStatus::both) {
        result.detail = std::string(VerificationSentences::sentence(VerificationSentences::Finding::targetUnconfirmed));
    }
    return result;
}

std::vector<SourceFileRenamer::RenameVerification> SourceFileRenamer::verifyBatch(
    const std::vector<RenameInstruction>& instructions, const std::string& root, const RenameBatchResult& batch,
    FileSystemOps& fs)
{
    std::unordered_map<std::string_view, const ItemIdentity*> identities;
    identities.reserve(batch.renamed.size());
    for (std::size_t i = 0; i < batch.renamed.size() && i < batch.renamedIdentities.size(); ++i) {
        identities.emplace(batch.renamed[i].original, &batch.renamedIdentities[i]);
    }
    std::vector<RenameVerification> failed;
    for (const RenameInstruction& instruction : instructions) {
        const auto found = identities.find(instruction.currentRelativePath);
        const std::optional<ItemIdentity> before
            = found == identities.end() ? std::nullopt : std::optional<ItemIdentity>(*found->second);
        RenameVerification verification = verifyRename(instruction, root, before, fs);
        if (verification.status != VStatus::verified) {
            failed.push_back(std::move(verification));
        }
    }
    return failed;
}

}  // namespace tess
