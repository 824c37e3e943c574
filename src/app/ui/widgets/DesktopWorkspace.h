#pragma once

#include "ui/widgets/Workspace.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

namespace tess {

// The Linux desktop: reveal asks the file manager over the session bus
// (org.freedesktop.FileManager1.ShowItems) and, when no file manager answers,
// opens the item's parent folder; URLs open with the desktop's handler; text
// goes to the system clipboard. Never blocks: the bus call is asynchronous.
class DesktopWorkspace : public QObject, public Workspace {
    Q_OBJECT

public:
    struct Dependencies {
        QDBusConnection bus = QDBusConnection::sessionBus();
        // Opens a URL with the desktop's handler (QDesktopServices::openUrl
        // when empty).
        std::function<bool(const QUrl&)> openUrl;
    };

    explicit DesktopWorkspace(QObject* parent = nullptr);
    explicit DesktopWorkspace(Dependencies dependencies, QObject* parent = nullptr);

    void revealPath(const std::string& absolutePath) override;
    void openUrl(const QUrl& url) override;
    void copyText(const QString& text) override;

    // The folder that holds the item, as a file URL.
    static QUrl parentFolderUrl(std::string_view absolutePath);

private:
    void openParentFolder(const std::string& absolutePath);

    Dependencies m_dependencies;
};

}  // namespace tess
