#include "ui/settings/HeaderView.h"

namespace tess {

HeaderView::HeaderView(const QString& title, QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("headerView"));
    setTextFormat(Qt::PlainText);
    setText(title);
    // Only the weight is set here: family and size keep following the window.
    QFont headline;
    headline.setBold(true);
    setFont(headline);
}

}  // namespace tess
