#pragma once

#include "core/Error.h"
#include "probe/FileTransformationConfig.h"
#include "probe/FilesystemType.h"
#include "probe/ProbeFileOperations.h"
#include "rules/FilesystemCapabilities.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tess {

// Measures what a real destination folder allows by creating, listing and
// removing real files and folders inside a uniquely named probe folder
// ("<testFolderName>_<8 hex digits>"), which is removed again afterwards.
//
// Every operation is synchronous and touches the disk: callers run it on a
// worker thread, never on the main thread. The detector holds only its
// configuration and its file operations, so it needs no locking; one
// detector serves one test.
class FilesystemDetector {
public:
    struct Detection {
        FilesystemCapabilities capabilities;
        // "<type> (probed) • case-sensitive" or "... • case-insensitive".
        std::string summary;
    };

    struct WriteCheck {
        bool success = false;
        std::optional<std::string> message;  // the failure's description
    };

    // The real file system unless `operations` is given.
    explicit FilesystemDetector(FileTransformationConfig config, std::shared_ptr<ProbeFileOperations> operations = nullptr);

    const FileTransformationConfig& config() const { return m_config; }

    // The whole probe of `folder`. Fails with a FilesystemDetectorError when
    // the folder cannot be written or the probe folder cannot be created.
    Result<Detection> detectCapabilities(const std::string& folder) const;

    static FilesystemType filesystemType(const std::string& folder);
    static std::string summaryText(FilesystemType type, bool isCaseSensitive);

    WriteCheck checkWriteAccess(const std::string& folder) const;
    Result<FilesystemCapabilities> probeCapabilities(const std::string& folder) const;

    // The single probes; `folder` is the probe folder.
    bool canCreateFile(const std::string& name, const std::string& folder) const;
    bool canCreatePath(std::int64_t targetLength, const std::string& folder) const;
    bool probeCaseSensitivity(const std::string& folder) const;
    bool probeBasicUnicode(const std::string& folder) const;
    bool probeFullUnicode(const std::string& folder) const;
    // Nothing when no limit was found.
    std::optional<std::int64_t> probeMaxFilenameLength(const std::string& folder) const;
    std::optional<std::int64_t> probeMaxPathLength(const std::string& folder) const;
    std::int64_t probeMaxPathDepth(const std::string& folder) const;

    // Removals of what the probe created; failures are logged, never raised.
    void removeCreatedDirectories(const std::vector<std::string>& folders) const;
    void removeProbeDirectory(bool created, const std::string& folder) const;

    // The candidates of the illegal-character test, in the order tried.
    static const std::vector<std::string>& illegalCharacterCandidates();

    static constexpr std::int64_t kNameProbeLength = 256;
    static constexpr std::int64_t kPathProbeTarget = 1025;
    static constexpr std::int64_t kDepthProbeLimit = 32;

private:
    std::string uniqueFolderName() const;
    void removeLogged(const std::string& path) const;

    FileTransformationConfig m_config;
    std::shared_ptr<ProbeFileOperations> m_operations;
};

}  // namespace tess
