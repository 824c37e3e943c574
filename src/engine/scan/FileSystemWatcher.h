#pragma once

#include "core/SerialQueue.h"
#include "scan/FileSystemWatcherDelegate.h"
#include "scan/TimerSource.h"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace tess {

// The state of an event-driven watcher of the source folder (an inotify
// stream on Linux). It is dormant: nothing in the application creates or
// starts one, and it has no way of starting; what it has is its state, how it
// stops, and its tear-down.
class FileSystemWatcher {
public:
    // A running stream: an inotify descriptor, closed when released.
    class EventStream {
    public:
        explicit EventStream(int fd)
            : m_fd(fd)
        {
        }
        ~EventStream();
        EventStream(const EventStream&) = delete;
        EventStream& operator=(const EventStream&) = delete;
        // Stops delivering events (removes every watch) and closes the stream.
        void stopAndInvalidate();
        int fd() const { return m_fd; }

    private:
        int m_fd = -1;
    };

    // The watcher's fields, as a value to build one from.
    struct State {
        std::weak_ptr<FileSystemWatcherDelegate> delegate;
        std::unique_ptr<EventStream> eventStream;
        std::optional<TimerSource> debounceTimer;
        std::set<std::string> pendingDirectories;
        std::set<std::string> pendingDeletions;
        bool isActive = false;
        std::optional<std::string> watchedPath;
    };

    static constexpr double kLatency = 0.5;  // seconds
    static constexpr double kDebounceInterval = 1.0;  // seconds
    static constexpr const char* kQueueLabel = "app.quenby.tessaline.watcher";

    FileSystemWatcher();
    explicit FileSystemWatcher(State state);
    // Stops synchronously on the watcher's queue, then releases the fields.
    ~FileSystemWatcher();
    FileSystemWatcher(const FileSystemWatcher&) = delete;
    FileSystemWatcher& operator=(const FileSystemWatcher&) = delete;

    // Stops watching: releases the stream (logging the watched path when one
    // was running), cancels the debounce timer and forgets pending changes.
    void stop();

    // Reads of the state, on the watcher's queue.
    bool isActive();
    std::optional<std::string> watchedPath();
    bool hasEventStream();
    bool hasDebounceTimer();
    std::size_t pendingCount();

    double latency() const { return kLatency; }
    double debounceInterval() const { return kDebounceInterval; }

private:
    void stopOnQueue();

    State m_state;
    SerialQueue m_queue {kQueueLabel};
};

}  // namespace tess
