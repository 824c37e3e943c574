#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tess {

// Runs a program without a shell and collects what it writes. Standard input
// is /dev/null; the child starts with no blocked signals and default
// dispositions, whatever the caller blocks. By default it runs in a process
// group of its own, so that a time limit ends it together with the programs
// it started: at the limit the group gets SIGTERM, and what still runs
// kStopGrace later gets SIGKILL. The caller can also stop a child before its
// limit (Options::stopRequested), the same way.
class ChildProcess {
public:
    static constexpr std::size_t kOutputLimit = 1024 * 1024;  // per stream
    // From SIGTERM at the time limit to SIGKILL: time for the child to undo
    // what it did.
    static constexpr std::chrono::milliseconds kStopGrace {2000};

    // The descriptor number under which the child receives `passFd`.
    static constexpr int kPassedFd = 3;

    struct Options {
        bool captureStdout = true;  // otherwise the child writes to ours
        bool captureStderr = true;
        // An open descriptor that the child gets as kPassedFd (so that it can
        // open "/proc/self/fd/3"); -1 for none. The caller keeps it.
        int passFd = -1;
        // Past this the child's process group is stopped; zero for no limit.
        std::chrono::milliseconds timeLimit {0};
        // False: the child stays in the caller's process group (and is
        // stopped alone at its limit), so that whoever stops the caller's
        // group stops the child too.
        bool newProcessGroup = true;
        // Looked at while the child runs: once it returns true (and from
        // then on it must), the child is stopped as at its time limit.
        std::function<bool()> stopRequested;
        // From SIGTERM to SIGKILL when the child is stopped; zero sends
        // SIGKILL at once.
        std::chrono::milliseconds stopGrace = kStopGrace;
    };

    struct Result {
        bool launched = false;
        std::string launchError;  // the system's text when not launched
        bool exitedNormally = false;
        int exitCode = -1;  // when exitedNormally
        std::string standardOutput;
        std::string standardError;
        bool truncated = false;  // a stream passed kOutputLimit
        bool timedOut = false;  // stopped at the time limit
        bool stopped = false;  // stopped because the caller asked

        bool succeeded() const { return launched && exitedNormally && exitCode == 0; }
    };

    static constexpr const char* kTimeLimitVariable = "TESSALINE_HELPER_CHILD_TIME_LIMIT";
    static constexpr std::chrono::seconds kDefaultTimeLimit {60};

    // The limit the unit sets for the daemon's children, in seconds
    // (TESSALINE_HELPER_CHILD_TIME_LIMIT, 0.1 to 3600), else 60 seconds.
    static std::chrono::milliseconds timeLimitFromEnvironment();

    // argv[0] is the program path (searched in PATH when it holds no "/").
    static Result run(const std::vector<std::string>& argv, Options options);
    static Result run(const std::vector<std::string>& argv) { return run(argv, Options {}); }
};

}  // namespace tess
