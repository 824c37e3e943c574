#include "ChildProcess.h"

#include "Pipe.h"
#include "UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tess {

namespace {

class SpawnSetup {
public:
    SpawnSetup()
    {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

using Clock = std::chrono::steady_clock;

// How often a child that may be asked to stop is looked at.
constexpr std::chrono::milliseconds kStopCheckInterval {20};

bool stopRequested(const ChildProcess::Options& options)
{
    return options.stopRequested && options.stopRequested();
}

// Milliseconds to wait in poll() until `deadline` (-1 without one), at most
// kStopCheckInterval when the child may be asked to stop.
int pollTimeout(const std::optional<Clock::time_point>& deadline, const ChildProcess::Options& options)
{
    long long wait = -1;
    if (deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
        wait = left <= 0 ? 0 : std::min<long long>(left, 1000 * 60 * 60);
    }
    if (options.stopRequested && (wait < 0 || wait > kStopCheckInterval.count())) {
        wait = kStopCheckInterval.count();
    }
    return static_cast<int>(wait);
}

// Reads both pipes until they close, keeping at most kOutputLimit bytes of
// each. False when the deadline passed or a stop was asked for first.
bool collect(Pipe& out, Pipe& err, ChildProcess::Result& result, const std::optional<Clock::time_point>& deadline,
    const ChildProcess::Options& options)
{
    char buffer[16384];
    for (;;) {
        pollfd entries[2];
        nfds_t count = 0;
        if (out.read >= 0) {
            entries[count++] = {out.read, POLLIN, 0};
        }
        if (err.read >= 0) {
            entries[count++] = {err.read, POLLIN, 0};
        }
        if (count == 0) {
            return true;
        }
        if ((deadline && Clock::now() >= *deadline) || stopRequested(options)) {
            return false;
        }
        int ready = ::poll(entries, count, pollTimeout(deadline, options));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return true;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (entries[i].revents == 0) {
                continue;
            }
            bool isOut = entries[i].fd == out.read;
            ssize_t got = ::read(entries[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                isOut ? out.closeRead() : err.closeRead();
                continue;
            }
            std::string& target = isOut ? result.standardOutput : result.standardError;
            std::size_t room = ChildProcess::kOutputLimit - target.size();
            std::size_t keep = static_cast<std::size_t>(got) < room ? static_cast<std::size_t>(got) : room;
            target.append(buffer, keep);
            if (keep < static_cast<std::size_t>(got)) {
                result.truncated = true;
            }
        }
    }
}

// Sends `signal` to the child's process group, or to the child alone when it
// shares the caller's group.
void signalChild(pid_t pid, int signal, bool ownGroup)
{
    if (ownGroup) {
        ::kill(-pid, signal);
    }
    ::kill(pid, signal);
}

// Waits for the child. At the deadline, or once a stop is asked for, its
// group gets SIGTERM, the options' grace later SIGKILL (at once without a
// grace), and one more second to go. A group still there then gets SIGKILL
// once its first process has ended too, for anything left running (the child
// is not reaped before, so the group's number cannot be taken meanwhile).
bool reap(pid_t pid, int& status, const std::optional<Clock::time_point>& deadline, const ChildProcess::Options& options,
    ChildProcess::Result& result)
{
    using namespace std::chrono_literals;
    const bool ownGroup = options.newProcessGroup;
    if (!deadline && !options.stopRequested) {
        while (::waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        return true;
    }
    std::optional<Clock::time_point> limit = deadline;
    int stage = 0;  // 0 running, 1 terminated, 2 killed
    for (;;) {
        siginfo_t info {};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 && errno != EINTR) {
            return false;
        }
        const auto now = Clock::now();
        const bool pastDeadline = deadline && now >= *deadline;
        if (info.si_pid == pid) {
            if (ownGroup && (stage > 0 || pastDeadline)) {
                ::kill(-pid, SIGKILL);
            }
            return ::waitpid(pid, &status, 0) == pid;
        }
        const bool asked = stage == 0 && stopRequested(options);
        if (asked || (limit && now >= *limit)) {
            if (stage == 2) {
                return false;  // beyond killing (uninterruptible); left as it is
            }
            if (stage == 0) {
                (asked ? result.stopped : result.timedOut) = true;
            }
            const bool kill = stage == 1 || options.stopGrace.count() <= 0;
            signalChild(pid, kill ? SIGKILL : SIGTERM, ownGroup);
            limit = now + (kill ? std::chrono::milliseconds(1s) : options.stopGrace);
            stage = kill ? 2 : 1;
        }
        std::this_thread::sleep_for(5ms);
    }
}

// The child's descriptors: /dev/null as standard input, the pipes of the
// streams it captures, and `passed` (when there is one) as kPassedFd.
void setUpDescriptors(SpawnSetup& setup, const ChildProcess::Options& options, const Pipe& out, const Pipe& err, int passed)
{
    ::posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (options.captureStdout) {
        ::posix_spawn_file_actions_adddup2(&setup.actions, out.write, STDOUT_FILENO);
    }
    if (options.captureStderr) {
        ::posix_spawn_file_actions_adddup2(&setup.actions, err.write, STDERR_FILENO);
    }
    // After the standard streams, whose pipes may have held number 3.
    if (passed >= 0) {
        ::posix_spawn_file_actions_adddup2(&setup.actions, passed, ChildProcess::kPassedFd);
    }
}

// No blocked signal, every disposition the default, and with `ownGroup` a
// process group of its own.
void setUpSignalsAndGroup(SpawnSetup& setup, bool ownGroup)
{
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    ::posix_spawnattr_setsigmask(&setup.attributes, &none);
    ::posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownGroup) {
        ::posix_spawnattr_setpgroup(&setup.attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    ::posix_spawnattr_setflags(&setup.attributes, flags);
}

// Starts argv[0] (searched in PATH when it holds no "/"): 0, or the error number.
int spawn(const std::vector<std::string>& argv, const SpawnSetup& setup, pid_t& pid)
{
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& argument : argv) {
        args.push_back(const_cast<char*>(argument.c_str()));
    }
    args.push_back(nullptr);
    return argv[0].find('/') == std::string::npos
        ? ::posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ)
        : ::posix_spawn(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
}

// Collects what the started child writes, then reaps it, within `timeLimit`
// (none when zero).
void finish(pid_t pid, Pipe& out, Pipe& err, const ChildProcess::Options& options, ChildProcess::Result& result)
{
    std::optional<Clock::time_point> deadline;
    if (options.timeLimit.count() > 0) {
        deadline = Clock::now() + options.timeLimit;
    }
    out.closeWrite();
    err.closeWrite();
    if (!collect(out, err, result, deadline, options) && !stopRequested(options)) {
        deadline = Clock::now();  // past it: stop at once
    }

    int status = 0;
    if (!reap(pid, status, deadline, options, result) || result.timedOut || result.stopped) {
        return;
    }
    if (WIFEXITED(status)) {
        result.exitedNormally = true;
        result.exitCode = WEXITSTATUS(status);
    }
}

}  // namespace

std::chrono::milliseconds ChildProcess::timeLimitFromEnvironment()
{
    const char* text = std::getenv(kTimeLimitVariable);
    if (text == nullptr || *text == '\0') {
        return kDefaultTimeLimit;
    }
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds >= 0.1 && seconds <= 3600)) {
        return kDefaultTimeLimit;
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

ChildProcess::Result ChildProcess::run(const std::vector<std::string>& argv, Options options)
{
    Result result;
    if (argv.empty()) {
        result.launchError = std::strerror(EINVAL);
        return result;
    }
    Pipe out;
    Pipe err;
    if ((options.captureStdout && !out.open()) || (options.captureStderr && !err.open())) {
        result.launchError = std::strerror(errno);
        return result;
    }

    // A descriptor that already is kPassedFd is moved out of the way first:
    // dup2 onto itself would leave its close-on-exec flag set.
    UniqueFd moved;
    int passed = options.passFd;
    if (passed == kPassedFd) {
        moved.reset(::fcntl(passed, F_DUPFD_CLOEXEC, 10));
        if (!moved.valid()) {
            result.launchError = std::strerror(errno);
            return result;
        }
        passed = moved.get();
    }

    SpawnSetup setup;
    setUpDescriptors(setup, options, out, err, passed);
    setUpSignalsAndGroup(setup, options.newProcessGroup);
    pid_t pid = -1;
    if (const int error = spawn(argv, setup, pid); error != 0) {
        result.launchError = std::strerror(error);
        return result;
    }
    result.launched = true;
    finish(pid, out, err, options, result);
    return result;
}

}  // namespace tess
