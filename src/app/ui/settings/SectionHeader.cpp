#include "ui/settings/SectionHeader.h"

#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace tess {

namespace {

constexpr int kSymbolColumn = 14;

}  // namespace

SectionHeader::SectionHeader(const QIcon& symbol, const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_icon(symbol)
    , m_title(title)
    , m_symbol(new QLabel(this))
    , m_titleLabel(new QLabel(this))
    , m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(4);

    m_symbol->setObjectName(QStringLiteral("symbolLabel"));
    m_symbol->setFixedWidth(kSymbolColumn);
    m_symbol->setAlignment(Qt::AlignCenter);
    m_symbol->setForegroundRole(QPalette::PlaceholderText);

    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setTextFormat(Qt::PlainText);
    m_titleLabel->setText(title.toUpper());
    m_titleLabel->setForegroundRole(QPalette::PlaceholderText);

    m_layout->addWidget(m_symbol);
    m_layout->addWidget(m_titleLabel);
    m_layout->addStretch(1);
    applyFonts();
    applySymbol();
}

void SectionHeader::setTrailingWidget(QWidget* widget)
{
    if (m_trailing != nullptr) {
        m_layout->removeWidget(m_trailing);
        m_trailing->deleteLater();
    }
    m_trailing = widget;
    if (widget != nullptr) {
        m_layout->addWidget(widget);
    }
}

void SectionHeader::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        applyFonts();
    } else if (event->type() == QEvent::PaletteChange) {
        applySymbol();
    }
    QWidget::changeEvent(event);
}

void SectionHeader::applySymbol()
{
    if (!m_icon.isNull()) {
        m_symbol->setPixmap(m_icon.pixmap(QSize(kSymbolColumn, kSymbolColumn), devicePixelRatioF()));
    }
}

void SectionHeader::applyFonts()
{
    m_titleLabel->setFont(theme::captionFont(font()));
}

}  // namespace tess
