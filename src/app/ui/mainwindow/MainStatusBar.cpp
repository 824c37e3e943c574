#include "ui/mainwindow/MainStatusBar.h"

#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

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
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, theme::secondaryLabel(palette()));
    m_middle->setPalette(secondary);
    m_right->setPalette(secondary);
    m_left->setPalette(m_leftIsSecondary ? secondary : palette());
}

void MainStatusBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        refreshColors();
    }
}

}  // namespace tess
