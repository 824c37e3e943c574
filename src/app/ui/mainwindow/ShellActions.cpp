#include "ui/mainwindow/ShellActions.h"

#include "model/UpdateManager.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tess {

ShellActions::ShellActions(UpdateManager& updates, QObject* parent)
    : QObject(parent)
    , m_updates(updates)
{
    m_about = new QAction(QStringLiteral("About Tessaline"), this);
    m_about->setObjectName(QStringLiteral("actionAbout"));
    m_about->setMenuRole(QAction::NoRole);
    connect(m_about, &QAction::triggered, this, &ShellActions::aboutRequested);

    m_checkForUpdates = new QAction(QStringLiteral("Check for Updates..."), this);
    m_checkForUpdates->setObjectName(QStringLiteral("actionCheckForUpdates"));
    m_checkForUpdates->setEnabled(updates.canCheckForUpdates());
    connect(&updates, &UpdateManager::canCheckForUpdatesChanged, m_checkForUpdates, &QAction::setEnabled);
    connect(m_checkForUpdates, &QAction::triggered, this, [this] { m_updates.checkForUpdates(); });

    m_settings = new QAction(QStringLiteral("Settings..."), this);
    m_settings->setObjectName(QStringLiteral("actionSettings"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_settings, &QAction::triggered, this, &ShellActions::settingsRequested);

    m_showMainWindow = new QAction(QStringLiteral("Show Main Window"), this);
    m_showMainWindow->setObjectName(QStringLiteral("actionShowMainWindow"));
    m_showMainWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    m_showMainWindow->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_showMainWindow, &QAction::triggered, this, &ShellActions::showMainWindowRequested);

    m_quit = new QAction(QStringLiteral("Quit Tessaline"), this);
    m_quit->setObjectName(QStringLiteral("actionQuit"));
    m_quit->setShortcut(QKeySequence::Quit);
    m_quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_quit, &QAction::triggered, this, &ShellActions::quitRequested);
}

void ShellActions::fillMenuBar(QMenuBar& bar) const
{
    QMenu* app = bar.addMenu(QStringLiteral("Tessaline"));
    app->setObjectName(QStringLiteral("applicationMenu"));
    app->addAction(m_about);
    app->addAction(m_checkForUpdates);
    app->addSeparator();
    app->addAction(m_settings);
    app->addSeparator();
    app->addAction(m_quit);
    QMenu* window = bar.addMenu(QStringLiteral("Window"));
    window->setObjectName(QStringLiteral("windowMenu"));
    window->addAction(m_showMainWindow);
}

QList<QAction*> ShellActions::windowActions() const
{
    return {m_settings, m_showMainWindow, m_quit};
}

void ShellActions::fillTrayMenu(QMenu& menu) const
{
    menu.addSeparator();
    menu.addAction(m_about);
    menu.addSeparator();
    menu.addAction(m_quit);
}

}  // namespace tess
