#include "report/ReportOutput.h"

#include "core/AtomicFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tess {

ReportOutput::ReportOutput(int fd)
    : m_fd(fd)
{
    m_buffer.reserve(kBlockSize * 2);
}

void ReportOutput::flush()
{
    if (m_status) {
        m_status = AtomicFile::writeAll(m_fd, m_buffer);
    }
    m_buffer.clear();
}

void ReportOutput::recordDone()
{
    if (m_fd >= 0 && m_buffer.size() >= kBlockSize) {
        flush();
    }
}

void ReportOutput::restart()
{
    m_buffer.clear();
    if (m_fd >= 0 && m_status && (::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0)) {
        m_status = Error {kAppErrorDomain, -1, std::strerror(errno)};
    }
}

Status ReportOutput::finish()
{
    if (m_fd >= 0) {
        flush();
    }
    return m_status;
}

}  // namespace tess
