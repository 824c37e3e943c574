#include "platform/AutostartFolder.h"

#include "core/XdgPaths.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tess {

std::string AutostartFolder::path()
{
    return XdgPaths::configHome() + "/autostart";
}

bool AutostartFolder::open()
{
    const QString folder = QString::fromStdString(path());
    QDir().mkpath(folder);
    return QProcess::startDetached(QStringLiteral("xdg-open"), {folder});
}

}  // namespace tess
