#include "ui/mainwindow/MainStatusBar.h"

#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

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
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 8);
    column->setSpacing(4);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(6);
    column->addLayout(layout);
    m_dot = new Dot(this);
    layout->addWidget(m_dot);
    m_left = captionLabel(this, "statusLeftLabel");
    layout->addWidget(m_left);
    layout->addStretch(1);
    m_middle = captionLabel(this, "statusMiddleLabel");
    layout->addWidget(m_middle);
    layout->addStretch(1);
    m_right = captionLabel(this, "statusRightLabel");
    m_right->setMinimumWidth(150);
    m_right->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_right);
    column->addWidget(makeNoticeRow());
}

QWidget* MainStatusBar::makeNoticeRow()
{
    // A line of its own under the counts: a notice may be a long sentence.
    m_noticeRow = new QWidget(this);
    m_noticeRow->setObjectName(QStringLiteral("statusNoticeRow"));
    auto* row = new QHBoxLayout(m_noticeRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_notice = captionLabel(m_noticeRow, "statusNoticeLabel");
    m_notice->setTextInteractionFlags(Qt::NoTextInteraction);
    // As wide as the row allows, whatever its text; as tall as its lines.
    m_notice->setWordWrap(true);
    m_notice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_notice->installEventFilter(this);
    row->addWidget(m_notice, 1);
    m_noticeButton = new QPushButton(QStringLiteral("Settings…"), m_noticeRow);
    m_noticeButton->setObjectName(QStringLiteral("statusSettingsButton"));
    m_noticeButton->setFont(theme::captionFont(font()));
    m_noticeButton->setFlat(true);
    m_noticeButton->setCursor(Qt::PointingHandCursor);
    m_noticeButton->hide();
    connect(m_noticeButton, &QPushButton::clicked, this, &MainStatusBar::settingsRequested);
    row->addWidget(m_noticeButton, 0, Qt::AlignTop);
    m_noticeRow->hide();
    return m_noticeRow;
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
    m_noticeRow->setVisible(notice.has_value());
    m_noticeText = notice ? notice->text : QString();
    m_noticeToolTip = notice ? notice->toolTip : QString();
    // Tooltips read rich text; this one shows paths as they are.
    m_notice->setToolTip(m_noticeToolTip.isEmpty() ? QString() : Qt::convertFromPlainText(m_noticeToolTip, Qt::WhiteSpacePre));
    m_noticeButton->setVisible(notice && notice->offersSettings);
    fitNotice();
}

void MainStatusBar::fitNotice()
{
    const QFontMetrics metrics(m_notice->font());
    // A pixel of slack: the label's line breaking measures as the metrics do.
    const int width = m_notice->contentsRect().width() - 1;
    m_notice->setText(MainWindowState::fittedNoticeText(
        m_noticeText, width, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); },
        [&metrics](const QString& text, int room) { return metrics.elidedText(text, Qt::ElideMiddle, room); }));
}

bool MainStatusBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_notice && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange)) {
        fitNotice();
    }
    return QWidget::eventFilter(watched, event);
}

QString MainStatusBar::noticeText() const
{
    return m_noticeRow->isVisibleTo(this) ? m_noticeText : QString();
}

QString MainStatusBar::noticeShownText() const
{
    return m_noticeRow->isVisibleTo(this) ? m_notice->text() : QString();
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
    // The warning orange and the link blue, deepened or lightened to read
    // on the bar.
    const QColor window = palette().color(QPalette::Window);
    theme::setColor(*m_notice, theme::readableOn(namedColor(ColorName::warm, palette()), {window}));
    theme::setColor(*m_noticeButton, theme::readableOn(namedColor(ColorName::cool, palette()), {window}), QPalette::ButtonText);
}

void MainStatusBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        refreshColors();
    }
}

}  // namespace tess
