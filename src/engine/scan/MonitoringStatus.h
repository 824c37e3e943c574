#pragma once

#include "scan/ScanProgress.h"

#include <string>

namespace tess {

// The scan coordinator's status: scanning with progress, an error with a
// message, idle, or monitoring (a source is open and no scan runs).
class MonitoringStatus {
public:
    enum class Kind {
        scanning,
        error,
        idle,
        monitoring,
    };

    MonitoringStatus() = default;  // idle

    static MonitoringStatus scanning(const ScanProgress& progress);
    static MonitoringStatus error(std::string message);
    static MonitoringStatus idle();
    static MonitoringStatus monitoring();

    Kind kind() const { return m_kind; }
    bool isScanning() const { return m_kind == Kind::scanning; }
    // Meaningful for `scanning` only.
    const ScanProgress& progress() const { return m_progress; }
    // Meaningful for `error` only.
    const std::string& message() const { return m_message; }

    // Equal when both are scanning with equal progress, both errors with equal
    // messages, both idle or both monitoring.
    friend bool operator==(const MonitoringStatus& a, const MonitoringStatus& b);

private:
    Kind m_kind = Kind::idle;
    ScanProgress m_progress;
    std::string m_message;
};

}  // namespace tess
