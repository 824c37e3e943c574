#include "ui/settings/SettingsCardParts.h"

#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace tess::settingsCard {

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* plainLabel(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QFont subheadlineFont(const QFont& base)
{
    QFont font = theme::scaledFont(base, 11);
    font.setWeight(QFont::Medium);
    return font;
}

QFont captionTwoFont()
{
    QFont font = theme::captionFont(QApplication::font());
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 11.0 / 12.0);
    }
    return font;
}

QToolButton* menuButton(QMenu* menu, const QString& objectName, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIconSize(QSize(14, 14));
    button->setFont(theme::captionFont(QApplication::font()));
    return button;
}

}  // namespace tess::settingsCard
