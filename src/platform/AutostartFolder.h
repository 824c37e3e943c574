#pragma once

#include <string>

namespace tess {

// The per-user XDG autostart folder, where programs that start at login are
// listed, and the way to show it to the user.
class AutostartFolder {
public:
    // $XDG_CONFIG_HOME/autostart (or ~/.config/autostart).
    static std::string path();
    // Creates the folder when missing and opens it with the desktop's
    // default handler (xdg-open), without waiting. False when it could not
    // be started.
    static bool open();
};

}  // namespace tess
