#include "scan/MonitoringStatus.h"

#include <utility>

namespace tess {

MonitoringStatus MonitoringStatus::scanning(const ScanProgress& progress)
{
    MonitoringStatus status;
    status.m_kind = Kind::scanning;
    status.m_progress = progress;
    return status;
}

MonitoringStatus MonitoringStatus::error(std::string message)
{
    MonitoringStatus status;
    status.m_kind = Kind::error;
    status.m_message = std::move(message);
    return status;
}

MonitoringStatus MonitoringStatus::idle()
{
    return MonitoringStatus();
}

MonitoringStatus MonitoringStatus::monitoring()
{
    MonitoringStatus status;
    status.m_kind = Kind::monitoring;
    return status;
}

bool operator==(const MonitoringStatus& a, const MonitoringStatus& b)
{
    if (a.m_kind != b.m_kind) {
        return false;
    }
    switch (a.m_kind) {
    case MonitoringStatus::Kind::scanning:
        return a.m_progress == b.m_progress;
    case MonitoringStatus::Kind::error:
        return a.m_message == b.m_message;
    case MonitoringStatus::Kind::idle:
    case MonitoringStatus::Kind::monitoring:
        return true;
    }
    return false;
}

}  // namespace tess
