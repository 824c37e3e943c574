#pragma once

#include <QMessageBox>
#include <QString>

class QLabel;

namespace tess {

// The application's alerts: a window-modal message box whose title line and
// message are shown exactly as written. Both labels hold plain text, so
// "R&D", "<b>", runs of blanks, newlines and direction marks are never read
// as markup. The box deletes itself when closed; open it with open().
class AlertBox {
public:
    AlertBox() = delete;

    static QMessageBox* make(QWidget* parent, const QString& title, const QString& message, const QString& objectName,
        QMessageBox::Icon icon = QMessageBox::NoIcon);
    // Replaces the title line and the message of an alert made here or elsewhere.
    static void setTexts(QMessageBox& box, const QString& title, const QString& message);
    // The label that shows the message (null before a message was set).
    static QLabel* messageLabel(const QMessageBox& box);
    // The label that shows the title line.
    static QLabel* titleLabel(const QMessageBox& box);
};

}  // namespace tess
