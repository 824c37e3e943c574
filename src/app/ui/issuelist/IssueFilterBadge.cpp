#include "ui/issuelist/IssueFilterBadge.h"

#include "ui/issuelist/IssueTypePresentation.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>

#include <cmath>

namespace tess {
namespace {

constexpr qreal kSymbolSize = 13.0;
constexpr qreal kSymbolGap = 4.0;
constexpr qreal kLineGap = 3.0;
constexpr qreal kPadding = 8.0;
constexpr qreal kRadius = 6.0;
// How many characters of a shortened label stay before the "…".
constexpr qsizetype kShortestLabel = 4;

QFont labelFont(const QFont& base)
{
    QFont font = theme::captionFont(base);
    font.setWeight(QFont::Black);
    return font;
}

}  // namespace

IssueFilterBadge::IssueFilterBadge(QWidget* parent)
    : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("issueFilterBadge"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

void IssueFilterBadge::setIssueType(const std::string& key)
{
    m_issueType = key;
    // Not setText: a "&" in the text would make a shortcut.
    setAccessibleName(labelText());
    updateGeometry();
    update();
}

void IssueFilterBadge::setCount(qint64 count)
{
    m_count = count;
    updateGeometry();
    update();
}

void IssueFilterBadge::setActive(bool active)
{
    m_active = active;
    update();
}

QString IssueFilterBadge::labelText() const
{
    return QString::fromStdString(issueTypeShortLabel(m_issueType));
}

QString IssueFilterBadge::countText() const
{
    return issueCountText(m_count, locale());
}

QString IssueFilterBadge::shownLabelText() const
{
    const QFontMetricsF label(labelFont(font()));
    const qreal available = width() - 2 * kPadding - kSymbolSize - kSymbolGap;
    return label.elidedText(labelText(), Qt::ElideRight, std::max(0.0, available));
}

QString IssueFilterBadge::shownCountText() const
{
    // The row never makes a card narrower than its count (minimumSizeHint).
    return countText();
}

QSize IssueFilterBadge::sizeHint() const
{
    const QFontMetricsF label(labelFont(font()));
    const QFontMetricsF count(theme::monospacedCaptionFont(font()));
    const qreal top = kSymbolSize + kSymbolGap + label.horizontalAdvance(labelText());
    const qreal width = std::max(top, count.horizontalAdvance(countText())) + 2 * kPadding;
    return {static_cast<int>(std::ceil(width)), kHeight};
}

QSize IssueFilterBadge::minimumSizeHint() const
{
    // The whole count, and the symbol with the start of the label.
    const QFontMetricsF label(labelFont(font()));
    const QFontMetricsF count(theme::monospacedCaptionFont(font()));
    const QString text = labelText();
    const QString shortest = text.size() <= kShortestLabel + 1 ? text : text.left(kShortestLabel) + u'…';
    const qreal top = kSymbolSize + kSymbolGap + label.horizontalAdvance(shortest);
    const qreal width = std::max(top, count.horizontalAdvance(countText())) + 2 * kPadding;
    return {static_cast<int>(std::ceil(width)), kHeight};
}

void IssueFilterBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor secondary = theme::secondaryLabel(pal);
    // An active card's white label and count are small text: the type's
    // colour is deepened as far as it takes for them to read on it.
    const QColor foreground = m_active ? QColor(Qt::white) : secondary;
    const QColor background = m_active ? theme::readableOn(namedColorOrSecondary(issueTypeColor(m_issueType), pal), {foreground})
                                       : theme::withOpacity(secondary, 0.15);
    if (isDown()) {
        painter.setOpacity(0.75);
    }

    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    painter.fillPath(shape, background);

    const QFont lblFont = labelFont(font());
    const QFont cntFont = theme::monospacedCaptionFont(font());
    const QFontMetricsF lbl(lblFont);
    const QFontMetricsF cnt(cntFont);
    const qreal firstHeight = std::max(kSymbolSize, lbl.height());
    const qreal blockHeight = firstHeight + kLineGap + cnt.height();
    const qreal top = (height() - blockHeight) / 2.0;
    const qreal available = width() - 2 * kPadding;

    const QString label = shownLabelText();
    const qreal firstWidth = kSymbolSize + kSymbolGap + lbl.horizontalAdvance(label);
    const qreal firstLeft = (width() - firstWidth) / 2.0;
    symbol::paint(painter, QRectF(firstLeft, top + (firstHeight - kSymbolSize) / 2.0, kSymbolSize, kSymbolSize),
        issueTypeIcon(m_issueType), foreground);
    painter.setPen(foreground);
    painter.setFont(lblFont);
    painter.drawText(QRectF(firstLeft + kSymbolSize + kSymbolGap, top, firstWidth, firstHeight), Qt::AlignLeft | Qt::AlignVCenter, label);

    painter.setFont(cntFont);
    painter.drawText(QRectF(kPadding, top + firstHeight + kLineGap, available, cnt.height()), Qt::AlignHCenter | Qt::AlignVCenter,
        shownCountText());

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void IssueFilterBadge::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange || event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QAbstractButton::changeEvent(event);
}

}  // namespace tess
