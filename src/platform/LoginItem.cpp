#include "platform/LoginItem.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tess {

namespace {

Error loginItemError(const std::string& message)
{
    return Error {kAppErrorDomain, 1, message};
}

}  // namespace

AutostartLoginItem::AutostartLoginItem(std::string executable, std::string folder)
    : m_executable(std::move(executable))
    , m_folder(std::move(folder))
{
}

std::string AutostartLoginItem::filePath() const
{
    return m_folder + "/" + kFileName;
}

std::string AutostartLoginItem::execValue(const std::string& executable)
{
    // Quoted argument: ", `, $ and \ take a backslash inside the quotes; the
    // string level of the file then doubles every backslash; % is doubled as
    // the field-code escape.
    std::string quoted = "\"";
    for (const char c : executable) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += "\\\\";
            quoted += c == '\\' ? "\\\\" : std::string(1, c);
            continue;
        }
        if (c == '%') {
            quoted += "%%";
            continue;
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string AutostartLoginItem::desktopEntry(const std::string& executable)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tessaline\n"
           "Exec="
        + execValue(executable)
        + "\n"
          "X-GNOME-Autostart-enabled=true\n";
}

Status AutostartLoginItem::setRegistered(bool registered)
{
    const QString path = QString::fromStdString(filePath());
    if (!registered) {
        if (::unlink(filePath().c_str()) != 0 && errno != ENOENT) {
            return loginItemError("Could not remove " + filePath() + ": " + std::strerror(errno));
        }
        return {};
    }
    if (!QDir().mkpath(QString::fromStdString(m_folder))) {
        return loginItemError("Could not create the folder " + m_folder);
    }
    QSaveFile file(path);
    const std::string entry = desktopEntry(m_executable);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(entry.data(), static_cast<qint64>(entry.size())) != static_cast<qint64>(entry.size())
        || !file.commit()) {
        return loginItemError("Could not write " + filePath() + ": " + file.errorString().toStdString());
    }
    return {};
}

bool AutostartLoginItem::isRegistered() const
{
    QFile file(QString::fromStdString(filePath()));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray wanted = QByteArray("Exec=") + QByteArray::fromStdString(execValue(m_executable));
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed() == wanted) {
            return true;
        }
    }
    return false;
}

}  // namespace tess
