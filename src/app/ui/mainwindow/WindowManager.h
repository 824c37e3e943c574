#pragma once

#include "settings/AppSettings.h"

#include <QAction>
#include <QList>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace tess {

// The one owner of the application's three windows: the main window, built
// once and kept for the whole run (closing only hides it, so its content and
// view model survive), and the help and About windows, kept after closing
// and built anew when asked for again. It also applies the appearance.
class WindowManager : public QObject {
    Q_OBJECT

public:
    struct Dependencies {
        // Fills a new main window (its central widget and toolbar).
        std::function<void(QMainWindow&)> buildMainContent;
        // The help window's content.
        std::function<QWidget*()> makeHelpContent;
        // The About window's content; `close` closes that window.
        std::function<QWidget*(std::function<void()> close)> makeAboutContent;
        // Sets the application's palette for an appearance mode.
        std::function<void(AppSettings::AppearanceMode)> applyAppearance;
        // The application's commands, added to every window built here so
        // their shortcuts work whichever window is active.
        QList<QAction*> windowActions;
    };

    explicit WindowManager(Dependencies dependencies, QObject* parent = nullptr);
    ~WindowManager() override;

    // Builds the main window the first time, then shows the same one again.
    void showStandaloneWindow();
    // A visible help or About window comes to the front; a closed one is
    // replaced by a new one.
    void showHelpWindow();
    void showAboutWindow();

    // Applies `mode` to every window on the next turn of the event loop.
    void applyTheme(AppSettings::AppearanceMode mode);

    // The size a window of `preferred` size opens at on a screen whose free
    // area is `available`: no larger than that area, no smaller than `minimum`.
    static QSize fittedSize(QSize preferred, QSize minimum, QSize available);

    QMainWindow* standaloneWindow() const { return m_standaloneWindow; }
    QWidget* helpWindow() const { return m_helpWindow; }
    QWidget* aboutWindow() const { return m_aboutWindow; }

private:
    static void bringToFront(QWidget& window);
    void addWindowActions(QWidget& window) const;

    Dependencies m_deps;
    QPointer<QMainWindow> m_standaloneWindow;
    QPointer<QWidget> m_helpWindow;
    QPointer<QWidget> m_aboutWindow;
};

}  // namespace tess
