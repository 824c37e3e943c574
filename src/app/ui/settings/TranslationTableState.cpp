#include "ui/settings/TranslationTableState.h"

#include <QList>

namespace tess {

QString hexText(std::string_view key)
{
    const QList<uint> scalars = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())).toUcs4();
    QString text;
    text.reserve(scalars.size() * 7);
    for (const uint scalar : scalars) {
        if (!text.isEmpty()) {
            text += QLatin1Char(' ');
        }
        text += QStringLiteral("U+") + QStringLiteral("%1").arg(scalar, 4, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

QString entryCountText(std::size_t count)
{
    return QStringLiteral("(") + QString::number(count) + QStringLiteral(" entries)");
}

}  // namespace tess
