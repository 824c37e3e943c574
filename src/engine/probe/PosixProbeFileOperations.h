#pragma once

#include "probe/ProbeFileOperations.h"

namespace tess {

// The probe's file operations on the real file system (POSIX calls on the
// path's raw bytes; symbolic links are never followed by removal).
class PosixProbeFileOperations final : public ProbeFileOperations {
public:
    Status createDirectory(const std::string& path) override;
    Result<std::vector<std::string>> listDirectory(const std::string& path) override;
    Status removeItem(const std::string& path) override;
    Status writeFile(const std::string& path, std::string_view contents) override;
};

}  // namespace tess
