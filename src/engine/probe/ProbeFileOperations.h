#pragma once

#include "core/Error.h"

#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The file operations a destination probe performs, so that tests can run it
// against a file system of their own. Paths are absolute. A failure's
// message is the user-facing description; for a system call its code is the
// errno value in kPosixDomain.
class ProbeFileOperations {
public:
    static constexpr const char* kPosixDomain = "posix";

    virtual ~ProbeFileOperations() = default;

    // Creates one folder (its parent must exist; fails when the name is
    // taken).
    virtual Status createDirectory(const std::string& path) = 0;
    // The names of a folder's entries, without "." and "..".
    virtual Result<std::vector<std::string>> listDirectory(const std::string& path) = 0;
    // Removes an item, a folder with everything in it. The probe calls it
    // only on what it created itself.
    virtual Status removeItem(const std::string& path) = 0;
    // Creates or replaces a file holding `contents`.
    virtual Status writeFile(const std::string& path, std::string_view contents) = 0;
};

}  // namespace tess
