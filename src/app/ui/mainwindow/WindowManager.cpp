#include "ui/mainwindow/WindowManager.h"

#include "log/AppLogger.h"
#include "ui/help/AboutView.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace tess {

namespace {

constexpr const char* kProductName = "Tessaline";

void centre(QWidget& window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

// Logs when the main window closes; the window itself stays.
class CloseLogger : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            TESS_LOG_DEBUG("WindowManager: windowWillClose called");
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

WindowManager::WindowManager(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
{
}

WindowManager::~WindowManager()
{
    delete m_helpWindow;
    delete m_aboutWindow;
    delete m_standaloneWindow;
}

void WindowManager::bringToFront(QWidget& window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

QSize WindowManager::fittedSize(QSize preferred, QSize minimum, QSize available)
{
    const QSize bounded = available.isValid() ? preferred.boundedTo(available) : preferred;
    return bounded.expandedTo(minimum);
}

void WindowManager::addWindowActions(QWidget& window) const
{
    window.addActions(m_deps.windowActions);
}

void WindowManager::showStandaloneWindow()
{
    if (!m_standaloneWindow) {
        auto* window = new QMainWindow;
        window->setObjectName(QStringLiteral("mainWindow"));
        window->setWindowTitle(QString::fromUtf8(kProductName));
        window->setMinimumSize(800, 480);
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize available = screen != nullptr ? screen->availableGeometry().size() : QSize();
        window->resize(fittedSize(QSize(1000, 800), window->minimumSize(), available));
        window->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        window->installEventFilter(new CloseLogger(window));
        addWindowActions(*window);
        if (m_deps.buildMainContent) {
            m_deps.buildMainContent(*window);
        }
        centre(*window);
        m_standaloneWindow = window;
    }
    bringToFront(*m_standaloneWindow.data());
}

void WindowManager::showHelpWindow()
{
    if (QWidget* shown = m_helpWindow.data(); shown != nullptr && shown->isVisible()) {
        bringToFront(*shown);
        return;
    }
    delete m_helpWindow;
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setObjectName(QStringLiteral("helpWindow"));
    addWindowActions(*window);
    window->setWindowTitle(QStringLiteral("Filesystem Capabilities Reference"));
    window->setMinimumSize(900, 500);
    window->resize(1000, 600);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    if (m_deps.makeHelpContent) {
        layout->addWidget(m_deps.makeHelpContent());
    }
    centre(*window);
    m_helpWindow = window;
    bringToFront(*window);
}

void WindowManager::showAboutWindow()
{
    if (QWidget* shown = m_aboutWindow.data(); shown != nullptr && shown->isVisible()) {
        bringToFront(*shown);
        return;
    }
    delete m_aboutWindow;
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setObjectName(QStringLiteral("aboutWindow"));
    addWindowActions(*window);
    window->setWindowTitle(QString::fromUtf8(AboutView::kWindowTitle));
    auto* layout = new QVBoxLayout(window);
    // The window takes its content's size and cannot be resized.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (m_deps.makeAboutContent) {
        QPointer<QWidget> guard(window);
        layout->addWidget(m_deps.makeAboutContent([guard] {
            if (guard) {
                guard->close();
            }
        }));
    }
    centre(*window);
    m_aboutWindow = window;
    bringToFront(*window);
}

void WindowManager::applyTheme(AppSettings::AppearanceMode mode)
{
    // The application palette reaches every widget, shown or hidden.
    QTimer::singleShot(0, this, [this, mode] {
        if (m_deps.applyAppearance) {
            m_deps.applyAppearance(mode);
        }
    });
}

}  // namespace tess
