#include "ui/settings/ReservedNameSetField.h"

#include <QVBoxLayout>

namespace tess {

ReservedNameSetField::ReservedNameSetField(QWidget* parent)
    : ChipSetField(tr("Reserved name"), 160, parent)
{
    setObjectName(QStringLiteral("reservedNameSetField"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(flowWidget());
}

QString ReservedNameSetField::trimmedName(const QString& typed)
{
    // QChar::isSpace: the separators (Zs, Zl, Zp), tab to carriage return
    // and U+0085, the same set as the desktop's white space and newlines.
    return typed.trimmed();
}

QString ReservedNameSetField::chipText(const std::string& member) const
{
    return QString::fromStdString(member);
}

ChipSetField::AddOutcome ReservedNameSetField::outcomeOf(const QString& typed) const
{
    const QString name = trimmedName(typed);
    if (name.isEmpty()) {
        return AddOutcome {std::nullopt, false};
    }
    return AddOutcome {name.toStdString(), true};
}

}  // namespace tess
