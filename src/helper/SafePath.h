#pragma once

#include "UniqueFd.h"

#include <string>
#include <string_view>

namespace tess {

// Opens the folders of a path that arrives from another process without ever
// following a symbolic link, so that a link planted in any component cannot
// redirect what the daemon does as root. Callers then act relative to the
// folder descriptor, so a component swapped after the checks changes nothing.
class SafePath {
public:
    struct Failure {
        enum class Kind {
            none,
            link,  // a component is a symbolic link
            forbidden,  // the folder lies on /proc, /sys or /dev, by any path
            failed,  // any other error (`error` holds errno)
        };
        Kind kind = Kind::none;
        int error = 0;
        std::string at;  // the path up to the component that failed

        explicit operator bool() const { return kind != Kind::none; }
        // "Refused to follow a symbolic link: <at>", or
        // "Could not create directory <at>: <system text>".
        std::string describe() const;
    };

    // True for /proc, /sys and /dev and everything below them, after the
    // path is standardised.
    static bool isForbidden(std::string_view path);

    // Opens the folder at the absolute `path` (an O_PATH descriptor). With
    // `create`, missing components are made (mode 0777 less the umask).
    static UniqueFd openFolder(std::string_view path, bool create, Failure& failure);

    // The last component of `path` ("" for "/"); trailing slashes are ignored.
    static std::string lastComponent(std::string_view path);
};

}  // namespace tess
