#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace tess {

// The user defaults: one XML property-list file whose top dictionary maps
// keys to values (the settings document lives under
// "app.quenby.Tessaline.preferences").
//
// Writing replaces one key and keeps every other key of the file: the file
// is read again, changed, and written to a temporary file beside it, which is
// flushed to disk and renamed over the old one.
//
// Nothing the user had is ever thrown away. A file that cannot be read as a
// property-list dictionary (garbage, truncated XML, another top type, a
// folder where the file should be) reads as empty; before the first write
// over it, its raw form is kept beside it as
// "<stem>.unreadable-<UTC stamp>.plist" (a folder is moved there, a file is
// copied; an empty file has nothing to keep). A caller whose reading lost
// values (keepCopyBeforeNextWrite) gets the same copy of a readable file.
// When the copy cannot be made, the write is refused.
class DefaultsStore {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    explicit DefaultsStore(std::string filePath, Clock clock = {});
    DefaultsStore(const DefaultsStore&) = delete;
    DefaultsStore& operator=(const DefaultsStore&) = delete;

    // XdgPaths::defaultsFilePath().
    static std::string standardFilePath();

    const std::string& filePath() const { return m_path; }

    // The value under `key`; nothing when the file or the key is absent. An
    // error when the file exists but is no readable property-list
    // dictionary.
    Result<std::optional<PlistValue>> object(const std::string& key) const;

    // Stores `value` under `key` (see above). Creates the file's folder when
    // it is missing.
    Status setObject(const std::string& key, PlistValue value);

    // Makes the next write keep a copy of the file as it is now (once).
    void keepCopyBeforeNextWrite();

    // Path of the last copy kept by this store, if any.
    std::optional<std::string> lastKeptCopy() const;

private:
    struct Snapshot;

    Snapshot readSnapshot() const;
    Result<std::string> keepCopy(const Snapshot& snapshot);
    std::string freeCopyName(int attempt) const;

    // One lock for every store of the process, so that two stores of the
    // same file never interleave their read-change-write.
    static std::mutex& fileMutex();

    std::string m_path;
    Clock m_clock;
    bool m_copyBeforeNextWrite = false;
    std::optional<std::string> m_lastKeptCopy;
};

}  // namespace tess
