#pragma once

#include "settings/AppSettings.h"

#include <QPointer>

#include <string>

class QMainWindow;

namespace tess {

class ContentView;
class HelperStatusManager;
class LoginItem;
class NotificationCenter;
class SettingsManager;
class ShellActions;
class UpdateManager;
class WindowManager;
class Workspace;

// How the application puts its main window together: the content view with
// every view it hosts, the shell commands and the appearance. The
// application's entry and the window tests build the window through these
// same functions.
namespace MainWindowComposition {

// The services every window shares, made once by the caller.
struct Services {
    SettingsManager& settings;
    UpdateManager& updates;
    HelperStatusManager& helperStatus;
    NotificationCenter& notifications;
    Workspace& workspace;
    LoginItem& loginItem;
    // Set to the content view once the main window is filled.
    QPointer<ContentView>& content;
    // Set by the caller once the window manager exists.
    WindowManager*& windows;
    // Where the index and the history live; empty: the application's data folder.
    std::string dataFolder;
    // How long after the window shows the daemon's approval is checked.
    int approvalCheckDelayMs = 1500;
};

// Fills `window`: its menu bar, its toolbar and the content view.
void fillMainWindow(QMainWindow& window, const Services& services, ShellActions& actions);

// "Settings..." brings the main window back and opens the settings sheet;
// "Show Main Window" brings it back; "About Tessaline" posts the About request.
void connectShellActions(ShellActions& actions, WindowManager& windows, NotificationCenter& notifications);

// Sets the application palette for `mode`: the light or the dark palette,
// or for "Auto" the desktop's own palette where the platform theme has one
// (Fusion's standard palette fills what it leaves out), with the roles the
// application derives from its text colours (theme::withDerivedRoles), kept
// in step with every later change of the palette.
void applyAppearance(AppSettings::AppearanceMode mode);

}  // namespace MainWindowComposition

}  // namespace tess
