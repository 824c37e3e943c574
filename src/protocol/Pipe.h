#pragma once

namespace tess {

// A pipe to a child process: both ends are close-on-exec and close with the
// object; -1 marks an end that is not open.
struct Pipe {
    int read = -1;
    int write = -1;

    Pipe() = default;
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // pipe2(O_CLOEXEC); false with errno set.
    bool open();
    void closeRead();
    void closeWrite();
};

}  // namespace tess
