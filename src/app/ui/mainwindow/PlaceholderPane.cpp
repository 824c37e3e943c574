#include "ui/mainwindow/PlaceholderPane.h"

#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tess {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

}  // namespace

PlaceholderPane::PlaceholderPane(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(12);
    layout->addStretch(1);

    m_symbol = new QToolButton(this);
    m_symbol->setObjectName(QStringLiteral("paneSymbolButton"));
    m_symbol->setAutoRaise(true);
    m_symbol->setIconSize(QSize(56, 56));
    m_symbol->setFocusPolicy(Qt::NoFocus);
    connect(m_symbol, &QToolButton::clicked, this, [this] {
        if (m_content.symbolAction) {
            m_content.symbolAction();
        }
    });
    layout->addWidget(m_symbol, 0, Qt::AlignHCenter);

    m_busy = new QProgressBar(this);
    m_busy->setObjectName(QStringLiteral("paneBusyProgressBar"));
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedWidth(160);
    layout->addWidget(m_busy, 0, Qt::AlignHCenter);

    m_title = makeLabel(this, "paneTitleLabel");
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    layout->addWidget(m_title);

    m_text = makeLabel(this, "paneTextLabel");
    layout->addWidget(m_text);
    buildEmphasisRow(*layout);

    m_linkRow = new QWidget(this);
    m_linkLayout = new QHBoxLayout(m_linkRow);
    m_linkLayout->setContentsMargins(0, 0, 0, 0);
    m_linkLayout->setSpacing(16);
    layout->addWidget(m_linkRow, 0, Qt::AlignHCenter);

    m_footnote = makeLabel(this, "paneFootnoteLabel");
    m_footnote->setFont(theme::captionFont(font()));
    layout->addWidget(m_footnote);
    layout->addStretch(1);
    setContent({});
}

void PlaceholderPane::setContent(Content content)
{
    m_content = std::move(content);
    m_busy->setVisible(m_content.busy);
    m_symbol->setVisible(m_content.symbol != nullptr && !m_content.busy);
    m_symbol->setEnabled(true);
    m_symbol->setCursor(m_content.symbolAction ? Qt::PointingHandCursor : Qt::ArrowCursor);
    m_symbol->setAttribute(Qt::WA_TransparentForMouseEvents, !m_content.symbolAction);
    refreshSymbol();
    m_title->setText(m_content.title);
    m_title->setVisible(!m_content.title.isEmpty());
    // A path shown before its text: the path in medium weight, verbatim,
    // in a label of its own so that no mark in it reaches the text after it.
    const bool emphasized = !m_content.emphasis.isEmpty();
    m_emphasis->setText(m_content.emphasis);
    m_emphasis->setToolTip(emphasized ? Qt::convertFromPlainText(m_content.emphasis, Qt::WhiteSpacePre) : QString());
    m_emphasisText->setText(emphasized ? m_content.text : QString());
    m_emphasisRow->setVisible(emphasized);
    m_text->setText(emphasized ? QString() : m_content.text);
    m_text->setVisible(!emphasized && !m_content.text.isEmpty());
    m_footnote->setText(m_content.footnote);
    m_footnote->setVisible(!m_content.footnote.isEmpty());

    while (QLayoutItem* item = m_linkLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const Link& link : m_content.links) {
        auto* button = new QPushButton(link.title, m_linkRow);
        button->setObjectName(QStringLiteral("paneLinkButton"));
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        theme::setColor(*button, namedColor(ColorName::cool, palette()), QPalette::ButtonText);
        connect(button, &QPushButton::clicked, this, link.action);
        m_linkLayout->addWidget(button);
    }
    m_linkRow->setVisible(!m_content.links.empty());

    const QColor secondary = theme::secondaryLabel(palette());
    for (QWidget* label : {static_cast<QWidget*>(m_text), static_cast<QWidget*>(m_emphasis), static_cast<QWidget*>(m_emphasisText),
             static_cast<QWidget*>(m_footnote)}) {
        theme::setColor(*label, secondary);
    }
}

void PlaceholderPane::buildEmphasisRow(QVBoxLayout& layout)
{
    m_emphasisRow = new QWidget(this);
    auto* row = new QHBoxLayout(m_emphasisRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addStretch(1);
    m_emphasis = makeLabel(m_emphasisRow, "paneEmphasisLabel");
    m_emphasis->setWordWrap(false);
    // A long path is cut rather than widening the window; its tooltip holds it whole.
    m_emphasis->setMinimumWidth(1);
    QFont medium = m_emphasis->font();
    medium.setWeight(QFont::Medium);
    m_emphasis->setFont(medium);
    row->addWidget(m_emphasis);
    m_emphasisText = makeLabel(m_emphasisRow, "paneEmphasisTextLabel");
    m_emphasisText->setWordWrap(false);
    row->addWidget(m_emphasisText);
    row->addStretch(1);
    layout.addWidget(m_emphasisRow);
}

void PlaceholderPane::refreshSymbol()
{
    if (m_content.symbol == nullptr) {
        return;
    }
    const QColor color = namedColorOrSecondary(m_content.symbolColor, palette());
    m_symbol->setIcon(QIcon(symbol::pixmap(m_content.symbol, QSize(56, 56), color, devicePixelRatioF())));
}

void PlaceholderPane::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        setContent(m_content);
    }
}

}  // namespace tess
