#include "ui/settings/SettingsRowLabel.h"

#include "ui/widgets/Theme.h"

#include <QApplication>

namespace tess {

SettingsRowLabel::SettingsRowLabel(const QString& text, QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setText(text);
    setWordWrap(true);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFixedWidth(kWidth);
    setForegroundRole(QPalette::PlaceholderText);
    setFont(theme::captionFont(QApplication::font()));
}

}  // namespace tess
