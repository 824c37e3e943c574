#include "scan/FileSystemWatcher.h"
#include "scan/ScanScheduler.h"

#include "ScanTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace tess {
namespace {

TEST(FileSystemWatcher, StopReleasesTheStreamAndLogsOnce)
{
    test::LogWatcher log;
    const int fd = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    FileSystemWatcher::State state;
    state.eventStream = std::make_unique<FileSystemWatcher::EventStream>(fd);
    state.isActive = true;
    state.watchedPath = "/watched/folder";
    state.debounceTimer = TimerSource();
    const TimerSource timer = *state.debounceTimer;
    state.pendingDirectories = {"/watched/folder/a"};
    state.pendingDeletions = {"/watched/folder/b"};
    FileSystemWatcher watcher(std::move(state));

    watcher.stop();
    EXPECT_FALSE(watcher.isActive());
    EXPECT_FALSE(watcher.hasEventStream());
    EXPECT_FALSE(watcher.hasDebounceTimer());
    EXPECT_TRUE(timer.isCancelled());
    EXPECT_EQ(watcher.pendingCount(), 0U);
    EXPECT_FALSE(watcher.watchedPath().has_value());

    watcher.stop();
    EXPECT_EQ(log.count("FileSystemWatcher: Stopped watching /watched/folder"), 1U);
}

TEST(FileSystemWatcher, WatcherWithoutStreamStopsSilently)
{
    test::LogWatcher log;
    {
        FileSystemWatcher watcher;
        watcher.stop();
    }
    EXPECT_EQ(log.count("FileSystemWatcher: Stopped watching"), 0U);
}

TEST(ScanScheduler, StopAlwaysLogsAndCancelsTimers)
{
    test::LogWatcher log;
    ScanScheduler::State state;
    state.isActive = true;
    state.repeatingTimer = TimerSource();
    state.delayTimer = TimerSource();
    const TimerSource repeating = *state.repeatingTimer;
    const TimerSource delay = *state.delayTimer;
    {
        ScanScheduler scheduler(std::move(state));
        scheduler.stop();
        EXPECT_FALSE(scheduler.isActive());
        EXPECT_FALSE(scheduler.hasTimers());
        EXPECT_TRUE(repeating.isCancelled());
        EXPECT_TRUE(delay.isCancelled());
    }  // tear-down stops once more
    ScanScheduler idle;
    idle.stop();
    EXPECT_EQ(log.count("ScanScheduler: Stopped"), 3U);
}

}  // namespace
}  // namespace tess
