#pragma once

#include <string>
#include <string_view>

namespace tess {

// Reads the property list that the disk-image program prints after an
// attach: a dictionary whose "system-entities" array holds one dictionary per
// attached entity; the first entity with a string "mount-point" names where
// the image is mounted.
class DiskImageOutput {
public:
    enum class Outcome {
        mounted,  // mountPoint holds the first "mount-point"
        unreadable,  // not a property list of the expected shape
        noMountPoint,  // no entity, or none with a string "mount-point"
    };

    struct Parsed {
        Outcome outcome = Outcome::unreadable;
        std::string mountPoint;
    };

    static Parsed parse(std::string_view output);
};

}  // namespace tess
