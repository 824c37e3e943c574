#include "platform/CommandRunner.h"

#include "Pipe.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tess {

namespace {

// Reads both pipes until they close or the deadline passes; false on time-out.
bool collect(Pipe& out, Pipe& err, std::string& outText, std::string& errText, std::chrono::steady_clock::time_point deadline)
{
    constexpr std::size_t kLimit = 1024 * 1024;
    std::array<char, 4096> buffer {};
    while (out.read >= 0 || err.read >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return true;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            Pipe& pipe = i == 0 ? out : err;
            std::string& text = i == 0 ? outText : errText;
            const ssize_t n = ::read(pipe.read, buffer.data(), buffer.size());
            if (n > 0) {
                if (text.size() < kLimit) {
                    text.append(buffer.data(), static_cast<std::size_t>(n));
                }
            } else if (n == 0 || errno != EINTR) {
                pipe.closeRead();
            }
        }
    }
    return true;
}

int waitForExit(pid_t pid, int options)
{
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(pid, &status, options);
    } while (done < 0 && errno == EINTR);
    if (done < 0) {
        return -1;  // not our child any more: nothing left to wait for
    }
    if (done == pid && WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return done == pid ? -1 : -2;  // -2: still running
}

// Kills a program that overran its time-out and reaps it. A program that
// cannot be killed (one that changed its user, as pkexec does) is reaped by
// a thread of its own, so that the caller neither waits for it nor leaves a
// zombie behind.
void killAndReap(pid_t pid)
{
    ::kill(pid, SIGKILL);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (waitForExit(pid, WNOHANG) == -2) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            std::thread([pid] { waitForExit(pid, 0); }).detach();
            return;
        }
        ::usleep(10'000);
    }
}

}  // namespace

CommandRunner::Outcome CommandRunner::run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout)
{
    Outcome outcome;
    if (arguments.empty()) {
        outcome.error = "no program given";
        return outcome;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Pipe out;
    Pipe err;
    if (!out.open() || !err.open()) {
        outcome.error = std::strerror(errno);
        return outcome;
    }

    // The child gets /dev/null and the two pipes, and no other descriptor of
    // this process (some are opened without close-on-exec elsewhere).
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    // Nor the calling thread's blocked signals, nor an ignored SIGPIPE.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int number : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaddset(&defaults, number);
    }
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    out.closeWrite();
    err.closeWrite();
    if (spawned != 0) {
        outcome.error = std::strerror(spawned);
        return outcome;
    }
    outcome.started = true;

    if (!collect(out, err, outcome.standardOutput, outcome.standardError, deadline)) {
        outcome.timedOut = true;
        killAndReap(pid);
        return outcome;
    }
    // The pipes closed; the program is about to exit (or closed them early).
    for (;;) {
        const int code = waitForExit(pid, WNOHANG);
        if (code != -2) {
            outcome.exitCode = code;
            return outcome;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            outcome.timedOut = true;
            killAndReap(pid);
            return outcome;
        }
        ::usleep(10'000);
    }
}

}  // namespace tess
