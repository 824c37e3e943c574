#pragma once

namespace tess {

// Receiver of a scan scheduler's scan requests. Nothing in the application
// creates a scheduler, so nothing calls this.
class ScanSchedulerDelegate {
public:
    virtual ~ScanSchedulerDelegate() = default;
    virtual void scanSchedulerRequestsScan() = 0;
};

}  // namespace tess
