#include "probe/FilesystemDetector.h"

#include "coding/Uuid.h"
#include "log/AppLogger.h"
#include "probe/FilesystemDetectorError.h"
#include "probe/PosixProbeFileOperations.h"
#include "probe/VolumeType.h"
#include "rules/ControlCharacters.h"
#include "text/Text.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace tess {

namespace {

std::string join(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The folder's path without trailing "/" (the root stays "/").
std::string normalizedFolder(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

// A name of exactly `length` bytes: "a" x (length - 4) + ".txt".
std::string nameOfLength(std::int64_t length)
{
    return std::string(static_cast<std::size_t>(length - 4), 'a') + ".txt";
}

bool listingHolds(const std::vector<std::string>& names, const std::string& name)
{
    return std::any_of(names.begin(), names.end(),
        [&](const std::string& entry) { return text::canonicallyEqual(entry, name); });
}

}  // namespace

FilesystemDetector::FilesystemDetector(FileTransformationConfig config, std::shared_ptr<ProbeFileOperations> operations)
    : m_config(std::move(config))
    , m_operations(operations ? std::move(operations) : std::make_shared<PosixProbeFileOperations>())
{
}

const std::vector<std::string>& FilesystemDetector::illegalCharacterCandidates()
{
    static const std::vector<std::string> kCandidates {"<", ">", ":", "\"", "|", "?", "*", "\\", "/"};
    return kCandidates;
}

std::string FilesystemDetector::uniqueFolderName() const
{
    return m_config.testFolderName + "_" + Uuid::random().toString().substr(0, 8);
}

void FilesystemDetector::removeLogged(const std::string& path) const
{
    Status removed = m_operations->removeItem(path);
    if (!removed.ok()
        && !(removed.error().domain == ProbeFileOperations::kPosixDomain && removed.error().code == ENOENT)) {
        TESS_LOG_WARN("⚠️ FilesystemDetector: failed to remove " + path + ": " + removed.error().message);
    }
}

FilesystemType FilesystemDetector::filesystemType(const std::string& folder)
{
    return VolumeType::of(folder);
}

std::string FilesystemDetector::summaryText(FilesystemType type, bool isCaseSensitive)
{
    return std::string(filesystemTypeName(type)) + " (probed)" + " \u2022 "
        + (isCaseSensitive ? "case-sensitive" : "case-insensitive");
}

Result<FilesystemDetector::Detection> FilesystemDetector::detectCapabilities(const std::string& rawFolder) const
{
    // Lengths are measured on the path as given, and an empty or relative
    // path would probe some other folder (the root, the working folder).
    if (rawFolder.empty() || rawFolder.front() != '/' || rawFolder.find('\0') != std::string::npos) {
        return FilesystemDetectorError::writeAccessFailed("not an absolute folder path");
    }
    const std::string folder = normalizedFolder(rawFolder);
    const FilesystemType type = filesystemType(folder);
    TESS_LOG_DEBUG("FilesystemDetector: detected filesystem type: " + std::string(filesystemTypeName(type))
        + " \u2014 running full probe");

    WriteCheck check = checkWriteAccess(folder);
    if (!check.success) {
        return FilesystemDetectorError::writeAccessFailed(check.message.value_or("unknown error"));
    }
    Result<FilesystemCapabilities> capabilities = probeCapabilities(folder);
    if (!capabilities.ok()) {
        return capabilities.error();
    }
    std::string summary = summaryText(type, capabilities->isCaseSensitive);
    return Detection {std::move(capabilities).value(), std::move(summary)};
}

FilesystemDetector::WriteCheck FilesystemDetector::checkWriteAccess(const std::string& folder) const
{
    const std::string checkFolder = join(folder, uniqueFolderName());
    Status created = m_operations->createDirectory(checkFolder);
    if (!created.ok()) {
        return {false, created.error().message};
    }
    Result<std::vector<std::string>> listing = m_operations->listDirectory(folder);
    removeLogged(checkFolder);
    if (!listing.ok()) {
        return {false, listing.error().message};
    }
    return {true, std::nullopt};
}

Result<FilesystemCapabilities> FilesystemDetector::probeCapabilities(const std::string& folder) const
{
    const std::string probe = join(folder, uniqueFolderName());
    Status created = m_operations->createDirectory(probe);
    if (!created.ok()) {
        TESS_LOG_WARN("⚠️ " + std::string("FilesystemDetector: failed to create test directory: ") + created.error().message);
        return FilesystemDetectorError::probeDirectorySetupFailed(created.error().message);
    }

    const bool caseSensitive = probeCaseSensitivity(probe);
    TESS_LOG_DEBUG(std::string("FilesystemDetector: case sensitive: ") + boolText(caseSensitive));

    const bool basic = probeBasicUnicode(probe);
    const bool full = probeFullUnicode(probe);
    TESS_LOG_DEBUG(std::string("FilesystemDetector: unicode support \u2014 basic: ") + boolText(basic)
        + ", full: " + boolText(full));

    const std::optional<std::int64_t> nameLimit = probeMaxFilenameLength(probe);
    TESS_LOG_DEBUG("FilesystemDetector: max filename length: "
        + (nameLimit ? std::to_string(*nameLimit) : std::string("no limit detected")));

    const std::int64_t depth = probeMaxPathDepth(probe);
    TESS_LOG_DEBUG("FilesystemDetector: max path depth: " + std::to_string(depth));

    const std::optional<std::int64_t> pathLimit = probeMaxPathLength(probe);
    TESS_LOG_DEBUG("FilesystemDetector: max path length: "
        + (pathLimit ? std::to_string(*pathLimit) : std::string("no limit detected")));

    CodePointSet illegal;
    for (const std::string& candidate : illegalCharacterCandidates()) {
        if (!canCreateFile("test" + candidate + "file.txt", probe)) {
            illegal.insert(static_cast<char32_t>(static_cast<unsigned char>(candidate[0])));
            TESS_LOG_DEBUG("FilesystemDetector: character '" + candidate + "' failed test, added to illegal set");
        }
    }
    const CodePointSet& control = ControlCharacters::set();
    illegal.insert(control.begin(), control.end());

    FilesystemCapabilities caps;
    caps.isCaseSensitive = caseSensitive;
    caps.encodingCapability = basic && full ? TargetEncoding::utf8Full
        : basic                             ? TargetEncoding::utf8Basic
                                            : TargetEncoding::asciiOnly;
    caps.maxFilenameLength = nameLimit.value_or(kNoLimit);
    caps.maxPathDepth = depth;
    caps.maxPathLength = pathLimit.value_or(kNoLimit);
    caps.illegalCharacters = std::move(illegal);
    caps.reservedNames = {".", ".."};
    caps.supportsPosixPermissions = false;
    caps.supportsExtendedAttributes = false;
    caps.supportsACLs = false;

    removeProbeDirectory(true, probe);
    return caps;
}

bool FilesystemDetector::canCreateFile(const std::string& name, const std::string& folder) const
{
    const std::string path = join(folder, name);
    if (!m_operations->writeFile(path, m_config.testFileContent).ok()) {
        return false;
    }
    Result<std::vector<std::string>> listing = m_operations->listDirectory(folder);
    if (!listing.ok()) {
        return false;  // the file goes with the probe folder
    }
    removeLogged(path);
    return listingHolds(*listing, name);
}

bool FilesystemDetector::probeCaseSensitivity(const std::string& folder) const
{
    const std::string upper = join(folder, "TEST.txt");
    const std::string lower = join(folder, "test.txt");
    if (!m_operations->writeFile(upper, "upper").ok() || !m_operations->writeFile(lower, "lower").ok()) {
        return false;
    }
    Result<std::vector<std::string>> listing = m_operations->listDirectory(folder);
    if (!listing.ok()) {
        return false;
    }
    removeLogged(upper);
    removeLogged(lower);  // on a case-insensitive volume already gone
    const auto& names = *listing;
    return std::find(names.begin(), names.end(), "TEST.txt") != names.end()
        && std::find(names.begin(), names.end(), "test.txt") != names.end();
}

bool FilesystemDetector::probeBasicUnicode(const std::string& folder) const
{
    for (const char* sample : {"\u4E2D", "caf\u00E9", "\u0440\u0443\u0441\u0441\u043A\u0438\u0439"}) {
        if (!canCreateFile("test" + std::string(sample) + "file.txt", folder)) {
            return false;
        }
    }
    return true;
}

bool FilesystemDetector::probeFullUnicode(const std::string& folder) const
{
    for (const char* sample : {"\U0001F3B5", "\U0001F680", "\U0001D54F"}) {
        if (!canCreateFile("test" + std::string(sample) + "file.txt", folder)) {
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> FilesystemDetector::probeMaxFilenameLength(const std::string& folder) const
{
    if (canCreateFile(nameOfLength(kNameProbeLength), folder)) {
        TESS_LOG_DEBUG("FilesystemDetector: created " + std::to_string(kNameProbeLength)
            + "-byte filename; no filename length limit detected");
        return std::nullopt;
    }
    if (!canCreateFile(nameOfLength(4), folder)) {
        TESS_LOG_WARN("⚠️ FilesystemDetector: cannot create even a 4-byte filename");
        return 0;
    }
    std::int64_t lo = 4;
    std::int64_t hi = kNameProbeLength;
    while (lo + 1 < hi) {
        const std::int64_t mid = (lo + hi) / 2;
        if (canCreateFile(nameOfLength(mid), folder)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

std::int64_t FilesystemDetector::probeMaxPathDepth(const std::string& folder) const
{
    std::int64_t level = 1;
    std::string current = folder;
    bool createdAny = false;
    for (;;) {
        const std::string next = join(current, "a");
        if (!m_operations->createDirectory(next).ok()) {
            break;
        }
        createdAny = true;
        Result<std::vector<std::string>> listing = m_operations->listDirectory(current);
        if (!listing.ok() || std::find(listing->begin(), listing->end(), "a") == listing->end()) {
            break;
        }
        current = next;
        ++level;
        if (level == kDepthProbeLimit) {
            break;
        }
    }
    if (createdAny) {
        removeLogged(join(folder, "a"));
    }
    return level < kDepthProbeLimit ? level : kNoLimit;
}

std::optional<std::int64_t> FilesystemDetector::probeMaxPathLength(const std::string& folder) const
{
    const auto base = static_cast<std::int64_t>(folder.size());
    const std::int64_t minimal = base + 2;
    if (minimal > kPathProbeTarget) {
        TESS_LOG_WARN("⚠️ " + std::string("FilesystemDetector: destination at ") + std::to_string(base)
            + " bytes already exceeds probe target " + std::to_string(kPathProbeTarget));
        return base;
    }
    if (canCreatePath(kPathProbeTarget, folder)) {
        TESS_LOG_DEBUG("FilesystemDetector: created " + std::to_string(kPathProbeTarget)
            + "-byte path; no path length limit detected");
        return std::nullopt;
    }
    if (!canCreatePath(minimal, folder)) {
        TESS_LOG_WARN("⚠️ " + std::string("FilesystemDetector: cannot create even minimal ") + std::to_string(minimal)
            + "-byte path");
        return base;
    }
    std::int64_t lo = minimal;
    std::int64_t hi = kPathProbeTarget;
    while (lo + 1 < hi) {
        const std::int64_t mid = (lo + hi) / 2;
        if (canCreatePath(mid, folder)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

bool FilesystemDetector::canCreatePath(std::int64_t targetLength, const std::string& folder) const
{
    std::int64_t remaining = targetLength - static_cast<std::int64_t>(folder.size());
    if (remaining < 2) {
        return static_cast<std::int64_t>(folder.size()) >= targetLength;
    }
    std::vector<std::string> created;
    std::string current = folder;
    while (remaining >= 102) {
        // Folders of 100 bytes; where that would leave exactly one byte (no
        // room for a name after the separator), the last folder takes 99, so
        // that every length is really tried.
        const std::int64_t length = remaining == 102 ? 99 : 100;
        const std::string next = join(current, std::string(static_cast<std::size_t>(length), 'a'));
        if (!m_operations->createDirectory(next).ok()) {
            removeCreatedDirectories(created);
            return false;
        }
        created.push_back(next);
        current = next;
        remaining -= length + 1;
    }
    const std::string file = join(current, std::string(static_cast<std::size_t>(remaining - 1), 'a'));
    if (!m_operations->writeFile(file, m_config.testFileContent).ok()) {
        removeCreatedDirectories(created);
        return false;
    }
    const auto length = static_cast<std::int64_t>(file.size());
    removeLogged(file);
    removeCreatedDirectories(created);
    return length == targetLength;
}

void FilesystemDetector::removeCreatedDirectories(const std::vector<std::string>& folders) const
{
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        removeLogged(*it);
    }
}

void FilesystemDetector::removeProbeDirectory(bool created, const std::string& folder) const
{
    if (created) {
        removeLogged(folder);
    }
}

}  // namespace tess
