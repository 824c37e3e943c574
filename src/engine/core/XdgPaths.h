#pragma once

#include <string>

namespace tess {

// The application's per-user folders, following the XDG base directories.
// Every base folder comes from its environment variable when that holds an
// absolute path, else from its XDG default under the home folder. Nothing
// here creates a folder: callers create what they write into.
class XdgPaths {
public:
    // $HOME when absolute, else the home folder of the password database,
    // else "/tmp".
    static std::string homeDirectory();

    static std::string configHome();  // $XDG_CONFIG_HOME or ~/.config
    static std::string dataHome();  // $XDG_DATA_HOME or ~/.local/share
    static std::string stateHome();  // $XDG_STATE_HOME or ~/.local/state

    // configHome()/app.quenby.Tessaline
    static std::string configDirectory();
    // configDirectory()/defaults.plist: the stored user defaults.
    static std::string defaultsFilePath();
    // dataHome()/app.quenby.Tessaline: database and history folder.
    static std::string applicationSupportDirectory();
    // stateHome()/quenby: the application log and its rotated copies.
    static std::string logDirectory();
};

}  // namespace tess
