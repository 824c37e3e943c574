#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QSystemTrayIcon;

namespace tess {

class UpdateManager;

// The application's own commands, shared by the menu bar and the tray menu:
// About, Check for Updates, Settings, Show Main Window and Quit.
class ShellActions : public QObject {
    Q_OBJECT

public:
    // "Check for Updates..." follows `updates`.
    explicit ShellActions(UpdateManager& updates, QObject* parent = nullptr);

    QAction* about() const { return m_about; }
    QAction* checkForUpdates() const { return m_checkForUpdates; }
    QAction* settings() const { return m_settings; }
    QAction* showMainWindow() const { return m_showMainWindow; }
    QAction* quit() const { return m_quit; }

    // The application menu ("Tessaline") and the window menu, added to `bar`.
    void fillMenuBar(QMenuBar& bar) const;
    // The tray's menu: a separator, "About Tessaline", then Quit.
    void fillTrayMenu(QMenu& menu) const;
    // The commands with a shortcut (Settings, Show Main Window, Quit), for
    // every window of the application to carry: a shortcut only works in a
    // window that holds its action, and the menu bar's window may be closed.
    QList<QAction*> windowActions() const;

signals:
    void aboutRequested();
    void settingsRequested();
    void showMainWindowRequested();
    void quitRequested();

private:
    UpdateManager& m_updates;
    QAction* m_about = nullptr;
    QAction* m_checkForUpdates = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_showMainWindow = nullptr;
    QAction* m_quit = nullptr;
};

}  // namespace tess
