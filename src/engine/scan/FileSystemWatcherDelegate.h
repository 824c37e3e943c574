#pragma once

#include <set>
#include <string>

namespace tess {

// Receiver of a file-system watcher's reports. Nothing in the application
// creates a watcher, so nothing calls these.
class FileSystemWatcherDelegate {
public:
    virtual ~FileSystemWatcherDelegate() = default;
    virtual void fileSystemWatcherDidDetectChanges(const std::set<std::string>& directories,
        const std::set<std::string>& deletions)
        = 0;
};

}  // namespace tess
