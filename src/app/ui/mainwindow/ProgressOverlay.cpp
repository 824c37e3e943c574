#include "ui/mainwindow/ProgressOverlay.h"

#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tess {

namespace {

QLabel* overlayLabel(QWidget* parent, const char* name, const QColor& color)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    theme::setColor(*label, color);
    return label;
}

}  // namespace

ProgressOverlay::ProgressOverlay(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_NoMousePropagation);
    setFocusPolicy(Qt::StrongFocus);  // keys go here, not to the pane below
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addStretch(1);
    auto* busy = new QProgressBar(this);
    busy->setObjectName(QStringLiteral("overlayProgressBar"));
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedWidth(180);
    layout->addWidget(busy, 0, Qt::AlignHCenter);
    layout->addSpacing(2);
    m_title = overlayLabel(this, "overlayTitleLabel", Qt::white);
    QFont titleFont = m_title->font();
    titleFont.setWeight(QFont::Medium);
    m_title->setFont(titleFont);
    layout->addWidget(m_title);
    const QColor dim(255, 255, 255, 178);
    m_detail = overlayLabel(this, "overlayDetailLabel", dim);
    m_detail->setFont(theme::captionFont(font()));
    m_detail->setWordWrap(true);
    layout->addWidget(m_detail);
    m_timer = overlayLabel(this, "overlayTimerLabel", dim);
    m_timer->setFont(theme::monospacedCaptionFont(font()));
    layout->addWidget(m_timer);
    layout->addStretch(1);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
}

void ProgressOverlay::setTexts(const QString& title, const QString& detail, const QString& timer)
{
    m_title->setText(title);
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
    m_timer->setText(timer);
    m_timer->setVisible(!timer.isEmpty());
}

QString ProgressOverlay::title() const
{
    return m_title->text();
}

QString ProgressOverlay::detail() const
{
    return m_detail->text();
}

QString ProgressOverlay::timer() const
{
    return m_timer->text();
}

bool ProgressOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void ProgressOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 128));
}

}  // namespace tess
