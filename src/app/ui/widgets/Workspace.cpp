#include "ui/widgets/Workspace.h"

#include <QByteArray>

namespace tess {

QUrl Workspace::fileUrl(std::string_view absolutePath)
{
    const QByteArray bytes(absolutePath.data(), static_cast<qsizetype>(absolutePath.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

}  // namespace tess
