#include "ui/widgets/DesktopWorkspace.h"

#include <QClipboard>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QStringList>

namespace tess {

DesktopWorkspace::DesktopWorkspace(QObject* parent)
    : DesktopWorkspace(Dependencies {}, parent)
{
}

DesktopWorkspace::DesktopWorkspace(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_dependencies(std::move(dependencies))
{
    if (!m_dependencies.openUrl) {
        m_dependencies.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    }
}

void DesktopWorkspace::revealPath(const std::string& absolutePath)
{
    if (!m_dependencies.bus.isConnected()) {
        openParentFolder(absolutePath);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList {QString::fromLatin1(fileUrl(absolutePath).toEncoded())} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_dependencies.bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, absolutePath] {
        watcher->deleteLater();
        if (watcher->isError()) {
            openParentFolder(absolutePath);
        }
    });
}

void DesktopWorkspace::openUrl(const QUrl& url)
{
    m_dependencies.openUrl(url);
}

void DesktopWorkspace::copyText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

QUrl DesktopWorkspace::parentFolderUrl(std::string_view absolutePath)
{
    std::string_view folder = absolutePath;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string_view::npos ? std::string_view("/") : folder.substr(0, slash == 0 ? 1 : slash);
    return fileUrl(folder);
}

void DesktopWorkspace::openParentFolder(const std::string& absolutePath)
{
    m_dependencies.openUrl(parentFolderUrl(absolutePath));
}

}  // namespace tess
