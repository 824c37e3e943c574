#pragma once

#include <cstdint>
#include <string>

namespace tess {

// A history file's seal: an extended attribute ("user.tessaline.seal") set on
// the file before it is moved into place, holding the size and record count
// the file was written with. The file's bytes keep their format exactly; the
// seal lets a reader tell a complete file from one cut short later (a disk
// error, a tool that truncated it), even when the cut falls on a record
// boundary. Files written before seals existed, files copied without their
// attributes, and volumes without user attributes have none: such a file
// reads as files always did.
class HistorySeal {
public:
    HistorySeal() = delete;

    enum class State { none,  // no readable seal: nothing can be told
        intact,
        broken };  // the file is not what was written

    static constexpr const char* kAttribute = "user.tessaline.seal";

    // Best effort: a seal that cannot be set leaves the file unsealed.
    static void write(int fd, std::uint64_t bytes, std::uint64_t records);
    static State check(int fd, std::uint64_t bytes, std::uint64_t records);
    static State check(const std::string& file, std::uint64_t bytes, std::uint64_t records);
};

}  // namespace tess
