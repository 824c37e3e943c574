#pragma once

#include "core/Error.h"

#include <string>

namespace tess {

// Whether the application starts when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    // Adds (true) or removes (false) the start at login.
    virtual Status setRegistered(bool registered) = 0;
    // True when the application starts at login.
    virtual bool isRegistered() const = 0;
};

// The start at login as an XDG autostart entry: the file
// "app.quenby.Tessaline.desktop" in the autostart folder, naming this program.
class AutostartLoginItem final : public LoginItem {
public:
    static constexpr const char* kFileName = "app.quenby.Tessaline.desktop";

    // `executable` is the program the entry starts; `folder` the autostart
    // folder (AutostartFolder::path() in the application).
    AutostartLoginItem(std::string executable, std::string folder);

    Status setRegistered(bool registered) override;
    bool isRegistered() const override;

    std::string filePath() const;
    // The whole entry written for `executable`.
    static std::string desktopEntry(const std::string& executable);
    // `executable` as one quoted argument of an Exec key.
    static std::string execValue(const std::string& executable);

private:
    std::string m_executable;
    std::string m_folder;
};

}  // namespace tess
