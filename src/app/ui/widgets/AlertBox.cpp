#include "ui/widgets/AlertBox.h"

#include <QLabel>

namespace tess {

namespace {

// The object names QMessageBox gives its two text labels.
constexpr const char* kTitleLabelName = "qt_msgbox_label";
constexpr const char* kMessageLabelName = "qt_msgbox_informativelabel";

}  // namespace

QMessageBox* AlertBox::make(QWidget* parent, const QString& title, const QString& message, const QString& objectName,
    QMessageBox::Icon icon)
{
    auto* box = new QMessageBox(parent);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(icon);
    setTexts(*box, title, message);
    return box;
}

void AlertBox::setTexts(QMessageBox& box, const QString& title, const QString& message)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(title);
    box.setInformativeText(message);
    // QMessageBox leaves its message label to guess the format; an escape
    // without a tag would then show literally ("&amp;").
    if (QLabel* label = messageLabel(box)) {
        label->setTextFormat(Qt::PlainText);
        label->setText(message);
    } else if (!message.isEmpty()) {
        box.setInformativeText(Qt::convertFromPlainText(message, Qt::WhiteSpacePre));
    }
}

QLabel* AlertBox::messageLabel(const QMessageBox& box)
{
    return box.findChild<QLabel*>(QString::fromLatin1(kMessageLabelName));
}

QLabel* AlertBox::titleLabel(const QMessageBox& box)
{
    return box.findChild<QLabel*>(QString::fromLatin1(kTitleLabelName));
}

}  // namespace tess
