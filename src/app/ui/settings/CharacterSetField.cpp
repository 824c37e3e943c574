#include "ui/settings/CharacterSetField.h"

#include "rules/TranslationTable.h"
#include "text/Text.h"
#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace tess {

CharacterSetField::CharacterSetField(QWidget* parent)
    : CharacterSetField(QString(), parent)
{
}

CharacterSetField::CharacterSetField(const QString& label, QWidget* parent)
    : ChipSetField(tr("Character"), 80, parent)
{
    setObjectName(QStringLiteral("characterSetField"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (!label.isEmpty()) {
        m_label = new QLabel(this);
        m_label->setObjectName(QStringLiteral("captionLabel"));
        m_label->setTextFormat(Qt::PlainText);
        m_label->setText(label);
        m_label->setForegroundRole(QPalette::PlaceholderText);
        m_label->setFont(theme::captionFont(font()));
        layout->addWidget(m_label, 0, Qt::AlignTop);
    }
    layout->addWidget(flowWidget(), 1, Qt::AlignTop);
}

std::optional<std::string> CharacterSetField::firstCharacter(const QString& typed)
{
    const QByteArray utf8 = typed.toUtf8();
    std::optional<std::string> first;
    text::forEachGrapheme(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
        [&first](std::string_view grapheme) {
            first = std::string(grapheme);
            return false;
        });
    return first;
}

QString CharacterSetField::chipText(const std::string& member) const
{
    return QString::fromStdString(TranslationTable::displayString(member));
}

ChipSetField::AddOutcome CharacterSetField::outcomeOf(const QString& typed) const
{
    return AddOutcome {firstCharacter(typed), true};
}

void CharacterSetField::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange && m_label != nullptr) {
        m_label->setFont(theme::captionFont(font()));
    }
    ChipSetField::changeEvent(event);
}

}  // namespace tess
