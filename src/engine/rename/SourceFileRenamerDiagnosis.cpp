// The missing-parent walk, the permission diagnosis and the metadata-file
// helpers of SourceFileRenamer.

#include "rename/SourceFileRenamer.h"

#include "log/AppLogger.h"
#include "rename/AccountNames.h"
#include "rename/RenameChecks.h"
#include "rename/RenamePaths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace tess {

namespace {

const std::string kCross = "❌ ";
const std::string kDash = " — ";

std::string trimmed(const std::string& text)
{
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), isSpace);
    auto end = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return begin < end ? std::string(begin, end) : std::string();
}

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

void logDiagnosis(const std::string& text)
{
    TESS_LOG_ERROR(kCross + text);
}

// A folder that lstat cannot reach (EACCES): the nearest folder above it
// that can be read is the one whose search permission is missing.
void checkUnreachableFolder(FileSystemOps& fs, const std::string& folder, const std::string& findingLabel,
    std::vector<std::string>& findings)
{
    std::string blocked = RenamePaths::parent(folder);
    struct stat st;
    while (fs.lstat(blocked, st) == EACCES && blocked != RenamePaths::parent(blocked)) {
        blocked = RenamePaths::parent(blocked);
    }
    if (fs.lstat(blocked, st) != 0) {
        return;
    }
    findings.push_back(findingLabel + " " + RenamePaths::lastComponent(folder) + "/ cannot be reached: the folder "
        + RenamePaths::lastComponent(blocked) + "/ above it cannot be searched (mode " + AccountNames::octalMode(st.st_mode) + ", owner: "
        + AccountNames::user(st.st_uid) + "). Run: chmod u+x \"" + blocked + "\"");
}

// One parent folder (source or destination): its modes, its immutable flag,
// and whether this user may really create and remove entries in it.
void checkParentFolder(FileSystemOps& fs, const std::string& folder, const std::string& logLabel,
    const std::string& findingLabel, const std::string& user, std::vector<std::string>& findings)
{
    struct stat st;
    if (const int error = fs.lstat(folder, st); error != 0) {
        if (error == EACCES) {
            checkUnreachableFolder(fs, folder, findingLabel, findings);
        }
        return;
    }
    const std::string name = RenamePaths::lastComponent(folder);
    const std::string owner = AccountNames::user(st.st_uid);
    logDiagnosis("Permission diagnosis" + kDash + logLabel + " " + name + "/: mode=" + AccountNames::octalMode(st.st_mode) + " owner=" + owner);
    if ((st.st_mode & 0300) != 0300) {
        findings.push_back(findingLabel + " " + name + "/ is not writable (mode " + AccountNames::octalMode(st.st_mode) + ", owner: " + owner
            + "). Run: chmod u+wx \"" + folder + "\"");
        return;
    }
    // Nobody may add, rename or remove entries of an immutable folder, root
    // included: its modes and its owner are not the cause.
    bool immutable = false;
    if (fs.immutableFlag(folder, immutable) == 0 && immutable) {
        findings.push_back(findingLabel + " " + name + "/ is immutable: its items cannot be added, renamed or removed. Run: chattr -i \""
            + folder + "\"");
        return;
    }
    const int access = fs.canModifyEntries(folder);
    if (access == EACCES || access == EPERM) {
        findings.push_back(findingLabel + " " + name + "/ is not writable by you (" + user + "; owner: " + owner + ")");
    }
}

// Each step of the diagnosis below logs what it sees and adds what it finds
// wrong, as one sentence, to `findings`.

void checkVolume(FileSystemOps& fs, const std::string& source, std::vector<std::string>& findings)
{
    bool readOnly = false;
    if (fs.volumeIsReadOnly(source, readOnly) == 0 && readOnly) {
        findings.push_back("Volume is mounted read-only");
    }
}

void checkSourceItem(FileSystemOps& fs, const std::string& source, std::vector<std::string>& findings)
{
    struct stat st;
    if (fs.lstat(source, st) != 0) {
        logDiagnosis("Permission diagnosis" + kDash + "could not read source attributes: " + source);
        return;
    }
    bool immutable = false;
    if (fs.immutableFlag(source, immutable) != 0) {
        immutable = false;
    }
    const std::string owner = AccountNames::user(st.st_uid);
    logDiagnosis("Permission diagnosis" + kDash + "source " + RenamePaths::lastComponent(source) + ": mode=" + AccountNames::octalMode(st.st_mode)
        + " owner=" + owner + " group=" + AccountNames::group(st.st_gid) + " immutable=" + (immutable ? "true" : "false"));
    if (immutable) {
        findings.push_back("Source file is locked (immutable). Unlock it with chattr -i");
    }
    if ((st.st_mode & 0400) == 0) {
        findings.push_back("Source file is not readable by owner (mode " + AccountNames::octalMode(st.st_mode) + ", owner: " + owner + ")");
    }
    bool appendOnly = false;
    if (fs.appendOnlyFlag(source, appendOnly) == 0 && appendOnly) {
        findings.push_back("Source file is append-only and cannot be renamed. Run: chattr -a \"" + source + "\"");
    }
}

void checkParentFolders(FileSystemOps& fs, const std::string& source, const std::string& destination,
    const std::string& user, std::vector<std::string>& findings)
{
    const std::string sourceParent = RenamePaths::parent(source);
    checkParentFolder(fs, sourceParent, "source parent", "Source folder", user, findings);
    // An append-only folder lets entries be added but never renamed or removed.
    bool appendOnly = false;
    if (fs.appendOnlyFlag(sourceParent, appendOnly) == 0 && appendOnly) {
        findings.push_back("Source folder " + RenamePaths::lastComponent(sourceParent)
            + "/ is append-only: its items cannot be renamed or removed. Run: chattr -a \"" + sourceParent + "\"");
    }
    const std::string destinationParent = RenamePaths::parent(destination);
    struct stat st;
    if (const int error = fs.lstat(destinationParent, st); error == ENOENT || error == ENOTDIR) {
        findings.push_back("Destination parent folder does not exist: " + RenamePaths::lastComponent(destinationParent) + "/");
    } else {
        checkParentFolder(fs, destinationParent, "dest parent", "Destination folder", user, findings);
    }
}

// A folder moved into another folder gets a new ".." entry: the move needs
// write permission on the folder itself, not only on both parents.
void checkFolderChangingParent(FileSystemOps& fs, const std::string& source, const std::string& destination,
    const std::string& user, std::vector<std::string>& findings)
{
    struct stat st;
    if (RenamePaths::parent(source) == RenamePaths::parent(destination) || fs.lstat(source, st) != 0 || !S_ISDIR(st.st_mode)) {
        return;
    }
    const int access = fs.canModifyEntries(source);
    if (access == EACCES || access == EPERM) {
        findings.push_back("Folder " + RenamePaths::lastComponent(source)
            + "/ cannot be moved into another folder: that needs write permission on the folder itself, which you ("
            + user + ") do not have (mode " + AccountNames::octalMode(st.st_mode) + ", owner: " + AccountNames::user(st.st_uid) + ")");
    }
}

// In a folder with the sticky bit only an item's owner may move it.
void checkStickyBit(FileSystemOps& fs, const std::string& source, const std::string& user, std::vector<std::string>& findings)
{
    struct stat parentStat;
    if (fs.lstat(RenamePaths::parent(source), parentStat) != 0 || (parentStat.st_mode & 01000) == 0) {
        return;
    }
    struct stat itemStat;
    const std::string owner = fs.lstat(source, itemStat) == 0 ? AccountNames::user(itemStat.st_uid) : "?";
    if (owner != user) {
        findings.push_back("Source parent has sticky bit set and you (" + user + ") are not the file owner (" + owner + ")");
    }
}

void checkAcls(FileSystemOps& fs, const std::string& source, const std::string& destination, std::vector<std::string>& findings)
{
    const std::string sourceParent = RenamePaths::parent(source);
    const std::string destinationParent = RenamePaths::parent(destination);
    const std::pair<std::string, std::string> targets[] = {
        {source, "source '" + RenamePaths::lastComponent(source) + "'"},
        {sourceParent, "source parent '" + RenamePaths::lastComponent(sourceParent) + "/'"},
        {destinationParent, "destination parent '" + RenamePaths::lastComponent(destinationParent) + "/'"},
    };
    for (const auto& [path, label] : targets) {
        const auto acl = fs.extendedAcl(path);
        if (acl.kind == FileSystemOps::AclInfo::Kind::none) {
            continue;
        }
        std::string text = "ACL present but could not convert to text";
        if (acl.kind == FileSystemOps::AclInfo::Kind::text) {
            text = trimmed(acl.text);
            if (text.empty()) {
                continue;
            }
        }
        logDiagnosis("Permission diagnosis" + kDash + "ACL on " + label + ": " + text);
        if (lowerAscii(text).find("deny") != std::string::npos) {
            findings.push_back("ACL deny rule found on " + label + kDash + "check with: getfacl \"" + path + "\"");
        } else {
            logDiagnosis("Permission diagnosis" + kDash + "ACL present (no deny rules) on " + label + ": " + text);
        }
    }
}

// The findings as one line, logged; a default one when there are none.
std::string summarize(std::vector<std::string> findings)
{
    if (findings.empty()) {
        findings.push_back("No obvious permission issue found" + kDash + "the file may be in use by another process");
    }
    std::string summary;
    for (std::size_t i = 0; i < findings.size(); ++i) {
        summary += (i ? "; " : "") + findings[i];
    }
    logDiagnosis("Permission diagnosis summary: " + summary);
    return summary;
}

}  // namespace

void SourceFileRenamer::collectMissingParentDirectories(const std::string& directory, const std::string& root,
    std::set<std::string>& out, FileSystemOps& fs)
{
    const std::string base = RenamePaths::withoutTrailingSlash(root);
    std::string folder = RenamePaths::withoutTrailingSlash(directory);
    while (RenamePaths::isWithin(base, folder) && RenamePaths::components(folder).size() > RenamePaths::components(base).size()
        && !RenameChecks::exists(fs, folder)) {
        out.insert(RenamePaths::relativeTo(base, folder));
        folder = RenamePaths::parent(folder);
    }
}

const std::set<std::string>& SourceFileRenamer::metadataFileNames()
{
    static const std::set<std::string> names {".DS_Store", "Thumbs.db"};
    return names;
}

std::string SourceFileRenamer::diagnosePermissionFailure(const std::string& source, const std::string& destination,
    FileSystemOps& fs)
{
    const std::string user = AccountNames::user(::geteuid());
    std::vector<std::string> findings;
    checkVolume(fs, source, findings);
    checkSourceItem(fs, source, findings);
    checkParentFolders(fs, source, destination, user, findings);
    checkFolderChangingParent(fs, source, destination, user, findings);
    checkStickyBit(fs, source, user, findings);
    checkAcls(fs, source, destination, findings);
    return summarize(std::move(findings));
}

std::optional<std::vector<std::string>> SourceFileRenamer::metadataOnlyContents(const std::string& directory,
    FileSystemOps& fs)
{
    std::vector<FileSystemOps::DirEntry> entries;
    if (fs.listDirectory(directory, entries) != 0) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        // A folder that merely carries a metadata name is real content.
        if (entry.type == FileSystemOps::EntryType::directory || !metadataFileNames().count(entry.name)) {
            return std::nullopt;
        }
        names.push_back(entry.name);
    }
    return names;
}

bool SourceFileRenamer::removeMetadataFiles(const std::vector<std::string>& names, const std::string& directory,
    FileSystemOps& fs, const PrivilegedRemove& privilegedRemove)
{
    for (const auto& name : names) {
        const std::string path = RenamePaths::join(directory, name);
        const int error = fs.removeFile(path);
        if (error == 0) {
            TESS_LOG_INFO("Cleanup: removed metadata file " + path);
            continue;
        }
        if (!privilegedRemove) {
            TESS_LOG_ERROR(kCross + "Cleanup: failed to remove metadata file " + path + ": " + posixError(error).message);
            return false;
        }
        const auto reply = privilegedRemove(path);
        struct stat st;
        if (reply.success || fs.lstat(path, st) == ENOENT) {
            TESS_LOG_INFO("Cleanup: removed metadata file " + path + " (privileged)");
            continue;
        }
        TESS_LOG_ERROR(kCross + "Cleanup: failed to remove metadata file " + path + ": " + reply.message);
        return false;
    }
    return true;
}

}  // namespace tess
