#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace tess {

// Runs a program to completion without a shell, from any thread: stdin is
// /dev/null, stdout and stderr are collected, no other descriptor is passed
// on, the signal mask is empty, and a program still running at the time-out
// is killed. Every program started is reaped.
class CommandRunner {
public:
    struct Outcome {
        bool started = false;  // false: the program could not be run (see error)
        bool timedOut = false;
        int exitCode = -1;  // -1 unless the program exited normally
        std::string standardOutput;
        std::string standardError;
        std::string error;  // why it could not be started
    };

    // arguments[0] is the program, looked up in PATH when it has no "/".
    static Outcome run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout);
};

}  // namespace tess
