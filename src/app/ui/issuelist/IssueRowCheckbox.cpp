#include "ui/issuelist/IssueRowCheckbox.h"

#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Symbol.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace tess {
namespace {

constexpr int kWarningSize = 14;

}  // namespace

IssueRowCheckbox::IssueRowCheckbox(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("issueRowCheckbox"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    applyLook();
}

void IssueRowCheckbox::setValues(bool needsRename, bool hasIssues, bool isSelected)
{
    m_look = rowCheckboxLook(needsRename, hasIssues, isSelected);
    applyLook();
}

void IssueRowCheckbox::setColumnWidth(int width)
{
    m_columnWidth = width;
    updateGeometry();
    update();
}

void IssueRowCheckbox::applyLook()
{
    setToolTip(toolTipText(m_look));
    setFocusPolicy(m_look.enabled ? Qt::StrongFocus : Qt::NoFocus);
    update();
}

QSize IssueRowCheckbox::sizeHint() const
{
    QStyleOptionButton option;
    option.initFrom(this);
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this);
    return {m_columnWidth, std::max(indicator, kWarningSize)};
}

QString IssueRowCheckbox::toolTipText(const RowCheckboxLook& look)
{
    return look.showsWarning ? QStringLiteral("No automatic fix available") : QString();
}

void IssueRowCheckbox::paint(QPainter& painter, const QRect& rect, const RowCheckboxLook& look, const QPalette& palette, const QStyle* style,
    const QWidget* widget)
{
    painter.save();
    if (look.showsWarning) {
        const QRectF sign(rect.left(), rect.center().y() - kWarningSize / 2.0 + 0.5, kWarningSize, kWarningSize);
        symbol::paint(painter, sign, "exclamationmark.triangle.fill", namedColor(ColorName::brandRed, palette));
    } else {
        QStyleOptionButton option;
        option.palette = palette;
        option.state = look.checked ? QStyle::State_On : QStyle::State_Off;
        if (look.enabled) {
            option.state |= QStyle::State_Enabled;
        }
        const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, widget);
        const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, &option, widget);
        option.rect = QRect(rect.left(), rect.center().y() - h / 2, w, h);
        painter.setOpacity(painter.opacity() * look.opacity);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, widget);
    }
    painter.restore();
}

void IssueRowCheckbox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, rect(), m_look, palette(), style(), this);
}

void IssueRowCheckbox::mousePressEvent(QMouseEvent* event)
{
    m_pressed = m_look.enabled && event->button() == Qt::LeftButton;
    event->setAccepted(m_pressed);
}

void IssueRowCheckbox::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click) {
        emit toggleSelectionRequested();
    }
}

void IssueRowCheckbox::keyPressEvent(QKeyEvent* event)
{
    if (m_look.enabled && event->key() == Qt::Key_Space) {
        emit toggleSelectionRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tess
