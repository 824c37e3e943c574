#include "ui/issuelist/IssueTypeDots.h"

#include "ui/widgets/Theme.h"

#include <QPainter>
#include <QTextDocument>

#include <cmath>

namespace tess {

IssueTypeDots::IssueTypeDots(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("issueTypeDots"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void IssueTypeDots::setIssueTypes(const std::optional<std::string>& issueTypes)
{
    m_dots = issueDots(issueTypes);
    const std::string summary = issueSummary(issueTypes);
    setToolTip(summary.empty() ? QString() : Qt::convertFromPlainText(QString::fromStdString(summary)));
    updateGeometry();
    update();
}

QSize IssueTypeDots::sizeHint() const
{
    return {kWidth, static_cast<int>(std::ceil(height(m_dots)))};
}

qreal IssueTypeDots::height(const IssueDots& dots)
{
    const auto count = static_cast<qreal>(dots.types.size() + (dots.overflow ? 1 : 0));
    return count == 0 ? 0.0 : count * kDiameter + (count - 1) * kSpacing;
}

void IssueTypeDots::paint(QPainter& painter, const QRectF& rect, const IssueDots& dots, const QPalette& palette)
{
    const qreal total = height(dots);
    if (total == 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    constexpr qreal stroke = 1.2;
    QPen edge(Qt::white, stroke);
    qreal top = rect.center().y() - total / 2.0;
    const qreal left = rect.center().x() - kDiameter / 2.0;
    auto dot = [&](const QColor& fill) {
        // The edge lies inside the circle.
        const QRectF circle(left + stroke / 2.0, top + stroke / 2.0, kDiameter - stroke, kDiameter - stroke);
        painter.setPen(edge);
        painter.setBrush(fill);
        painter.drawEllipse(circle);
        top += kDiameter + kSpacing;
    };
    for (const std::string& type : dots.types) {
        dot(namedColorOrSecondary(issueTypeColor(type), palette));
    }
    if (dots.overflow) {
        dot(theme::withOpacity(theme::secondaryLabel(palette), 0.4));
    }
    painter.restore();
}

void IssueTypeDots::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, QRectF(rect()), m_dots, palette());
}

}  // namespace tess
