#pragma once

#include "core/Error.h"

#include <cstddef>
#include <string>

namespace tess {

// Where a report writer's text goes: collected whole in memory, or written
// to an open file in blocks as it grows, so that a report of any size holds
// about one block at a time. Writers append to buffer() and call
// recordDone() after each record.
class ReportOutput {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    // Collects the text; take it with takeText().
    ReportOutput() = default;
    // Writes to `fd`, which stays open and belongs to the caller.
    explicit ReportOutput(int fd);

    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;

    std::string& buffer() { return m_buffer; }
    // Writes the buffer out once it holds a block (file output only).
    void recordDone();
    // Drops everything written so far: the buffer, and the file's content.
    void restart();
    // Writes what is left; the first failure of any write, if one failed.
    Status finish();
    // The collected text (in-memory output), once finished.
    std::string takeText() { return std::move(m_buffer); }

private:
    void flush();

    int m_fd = -1;
    std::string m_buffer;
    Status m_status;
};

}  // namespace tess
