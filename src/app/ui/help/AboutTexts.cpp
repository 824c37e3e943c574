#include "ui/help/AboutTexts.h"

namespace tess::AboutTexts {

namespace {

QString stringValue(const QVariantMap& info, const QString& key)
{
    const auto found = info.find(key);
    if (found == info.end() || found->typeId() != QMetaType::QString) {
        return QStringLiteral("Unknown");
    }
    return found->toString();
}

}  // namespace

QString versionString(const QVariantMap& info)
{
    return QStringLiteral("Version ") + stringValue(info, QStringLiteral("version")) + QStringLiteral(" (")
        + stringValue(info, QStringLiteral("build")) + u')';
}

QString acknowledgmentsTitle(bool shown)
{
    return shown ? QStringLiteral("Hide Acknowledgments") : QStringLiteral("Acknowledgments");
}

int boxHeight(bool acknowledgmentsShown)
{
    return acknowledgmentsShown ? 480 : 320;
}

}  // namespace tess::AboutTexts
