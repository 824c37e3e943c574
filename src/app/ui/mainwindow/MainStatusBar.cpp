#include "ui/mainwindow/MainStatusBar.h"

#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace tess {

class MainStatusBar::Dot : public QWidget {
public:
    explicit Dot(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(8, 8);
        setObjectName(QStringLiteral("statusDot"));
    }
    QColor color = Qt::gray;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(rect());
    }
};

namespace {

QLabel* captionLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(theme::captionFont(parent->font()));
    return label;
}

}  // namespace

MainStatusBar::MainStatusBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("mainStatusBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(6);
    m_dot = new Dot(this);
    layout->addWidget(m_dot);
    m_left = captionLabel(this, "statusLeftLabel");
    layout->addWidget(m_left);
    m_notice = captionLabel(this, "statusNoticeLabel");
    m_notice->setTextInteractionFlags(Qt::NoTextInteraction);
    m_notice->hide();
    layout->addWidget(m_notice, 0);
    m_noticeButton = new QPushButton(QStringLiteral("Settings…"), this);
    m_noticeButton->setObjectName(QStringLiteral("statusSettingsButton"));
    m_noticeButton->setFont(theme::captionFont(font()));
    m_noticeButton->setFlat(true);
    m_noticeButton->setCursor(Qt::PointingHandCursor);
    m_noticeButton->hide();
    connect(m_noticeButton, &QPushButton::clicked, this, &MainStatusBar::settingsRequested);
    layout->addWidget(m_noticeButton);
    layout->addStretch(1);
    m_middle = captionLabel(this, "statusMiddleLabel");
    layout->addWidget(m_middle);
    layout->addStretch(1);
    m_right = captionLabel(this, "statusRightLabel");
    m_right->setMinimumWidth(150);
    m_right->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_right);
}

void MainStatusBar::apply(const MainWindowState::StatusBarTexts& texts, std::optional<ColorName> dotColor)
{
    m_left->setText(texts.left);
    m_leftIsSecondary = texts.leftIsSecondary;
    m_middle->setText(texts.middle.value_or(QString()));
    m_middle->setVisible(texts.middle.has_value());
    m_right->setText(texts.right.value_or(QString()));
    m_dotColor = dotColor;
    refreshColors();
}

void MainStatusBar::applyNotice(const std::optional<MainWindowState::StatusNotice>& notice)
{
    m_notice->setVisible(notice.has_value());
    m_notice->setText(notice ? notice->text : QString());
    m_noticeToolTip = notice ? notice->toolTip : QString();
    // Tooltips read rich text; this one shows paths as they are.
    m_notice->setToolTip(m_noticeToolTip.isEmpty() ? QString() : Qt::convertFromPlainText(m_noticeToolTip, Qt::WhiteSpacePre));
    m_noticeButton->setVisible(notice && notice->offersSettings);
}

QString MainStatusBar::noticeText() const
{
    return m_notice->isVisibleTo(this) ? m_notice->text() : QString();
}

QString MainStatusBar::noticeToolTip() const
{
    return m_noticeToolTip;
}

QString MainStatusBar::leftText() const
{
    return m_left->text();
}

QString MainStatusBar::middleText() const
{
    return m_middle->isVisibleTo(this) ? m_middle->text() : QString();
}

QString MainStatusBar::rightText() const
{
    return m_right->text();
}

void MainStatusBar::refreshColors()
{
    m_dot->color = m_dotColor ? namedColor(*m_dotColor, palette()) : QColor(Qt::gray);
    m_dot->update();
    const QColor secondary = theme::secondaryLabel(palette());
    theme::setColor(*m_middle, secondary);
    theme::setColor(*m_right, secondary);
    theme::setColor(*m_left, m_leftIsSecondary ? secondary : palette().color(QPalette::WindowText));
    theme::setColor(*m_notice, namedColor(ColorName::warm, palette()));
    theme::setColor(*m_noticeButton, namedColor(ColorName::cool, palette()), QPalette::ButtonText);
}

void MainStatusBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        refreshColors();
    }
}

}  // namespace tess
