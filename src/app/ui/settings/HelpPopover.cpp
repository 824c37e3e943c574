#include "ui/settings/HelpPopover.h"

#include "ui/settings/HelpContent.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/MarkdownLite.h"
#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tess {

namespace {

constexpr int kInset = 12;
constexpr int kSubpointIndent = 16;
constexpr qreal kTertiaryOpacity = 0.3;

// The callout text style: 12 of the body's 13 parts.
QFont calloutFont(const QFont& base)
{
    QFont font = base;
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * 12.0 / 13.0);
    }
    return font;
}

// The headline text style: the body size, bold.
QFont headlineFont(const QFont& base)
{
    QFont font = base;
    font.setBold(true);
    return font;
}

}  // namespace

HelpPopover::HelpPopover(const HelpContent& content, QWidget* anchor)
    : PopoverFrame(anchor)
{
    setObjectName(QStringLiteral("helpPopover"));
    setFont(calloutFont(font()));
    setFixedWidth(kWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kInset, kInset, kInset, kInset);
    layout->setSpacing(10);

    QLabel* title = addLabel(this, markdownLiteToHtml(content.title), Qt::RichText);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setFont(headlineFont(font()));
    layout->addWidget(title);
    layout->addWidget(addLabel(this, markdownLiteToHtml(content.introduction), Qt::RichText));

    for (const std::vector<HelpPoint>& list : content.lists) {
        auto* listWidget = new QWidget(this);
        auto* listLayout = new QVBoxLayout(listWidget);
        listLayout->setContentsMargins(0, 0, 0, 0);
        listLayout->setSpacing(4);
        for (const HelpPoint& point : list) {
            auto* pointWidget = new QWidget(listWidget);
            auto* pointLayout = new QVBoxLayout(pointWidget);
            pointLayout->setContentsMargins(0, 0, 0, 0);
            pointLayout->setSpacing(3);

            auto* row = new QHBoxLayout;
            row->setSpacing(6);
            QLabel* bullet = addLabel(pointWidget, QStringLiteral("\u2022"), Qt::PlainText);
            bullet->setForegroundRole(QPalette::PlaceholderText);
            bullet->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
            QLabel* text = addLabel(pointWidget, markdownLiteToHtml(point.markup()), Qt::RichText);
            text->setObjectName(QStringLiteral("pointLabel"));
            row->addWidget(bullet, 0, Qt::AlignTop);
            row->addWidget(text, 1, Qt::AlignTop);
            pointLayout->addLayout(row);

            for (const QString& subpoint : point.subpoints) {
                auto* subRow = new QHBoxLayout;
                subRow->setContentsMargins(kSubpointIndent, 0, 0, 0);
                subRow->setSpacing(6);
                QLabel* subBullet = addLabel(pointWidget, QStringLiteral("\u25E6"), Qt::PlainText);
                subBullet->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
                subBullet->setFont(theme::captionFont(font()));
                m_tertiary.append(subBullet);
                QLabel* subText = addLabel(pointWidget, subpoint, Qt::PlainText);
                subText->setObjectName(QStringLiteral("subpointLabel"));
                subText->setFont(theme::captionFont(font()));
                subRow->addWidget(subBullet, 0, Qt::AlignTop);
                subRow->addWidget(subText, 1, Qt::AlignTop);
                pointLayout->addLayout(subRow);
            }
            listLayout->addWidget(pointWidget);
        }
        layout->addWidget(listWidget);
    }

    if (!content.closingNote.isEmpty()) {
        m_note = addLabel(this, markdownLiteToHtml(content.closingNote), Qt::RichText);
        m_note->setObjectName(QStringLiteral("noteLabel"));
        m_note->setFont(theme::captionFont(font()));
        layout->addWidget(m_note);
    }
    applyColors();
}

QSize HelpPopover::popUpSize() const
{
    return QSize(kWidth, heightForWidth(kWidth));
}

void HelpPopover::changeEvent(QEvent* event)
{
    PopoverFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

QLabel* HelpPopover::addLabel(QWidget* parent, const QString& text, Qt::TextFormat format)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(format);
    label->setText(text);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

void HelpPopover::applyColors()
{
    // Colours derived from the palette are set on the labels' own palettes,
    // so they are worked out again on every palette change.
    for (QLabel* bullet : m_tertiary) {
        theme::setColor(*bullet, theme::withOpacity(palette().color(QPalette::WindowText), kTertiaryOpacity));
    }
    if (m_note != nullptr) {
        theme::setColor(*m_note, namedColor(ColorName::warm, palette()));
    }
}

}  // namespace tess
