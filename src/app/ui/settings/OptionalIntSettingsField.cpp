#include "ui/settings/OptionalIntSettingsField.h"

#include "ui/settings/LimitFieldText.h"
#include "ui/widgets/SystemSound.h"
#include "ui/widgets/Theme.h"

#include <QCheckBox>
#include <QEasingCurve>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tess {

namespace {

constexpr int kEditWidth = 54;
constexpr qreal kShakeAmplitude = 6.0;
constexpr int kShakeMilliseconds = 350;
// Ticking the box of an empty field starts from this number.
constexpr std::int64_t kTickedDefault = 255;

}  // namespace

OptionalIntSettingsField::OptionalIntSettingsField(const QString& label, const QString& placeholder,
    std::int64_t minimum, QWidget* parent, SystemSound* sound)
    : QWidget(parent)
    , m_minimum(minimum)
    , m_sound(sound != nullptr ? sound : &SystemSound::standard())
    , m_layout(new QHBoxLayout(this))
    , m_checkBox(new QCheckBox(label, this))
    , m_edit(new QLineEdit(this))
    , m_shake(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("optionalIntSettingsField"));
    // Room on the right for the text field's swing while it shakes.
    m_layout->setContentsMargins(0, 0, static_cast<int>(kShakeAmplitude), 0);
    m_layout->setSpacing(4);

    m_checkBox->setObjectName(QStringLiteral("enabledCheckBox"));
    m_edit->setObjectName(QStringLiteral("valueLineEdit"));
    m_edit->setPlaceholderText(placeholder);
    m_edit->setFixedWidth(kEditWidth);
    m_edit->setEnabled(false);
    m_edit->installEventFilter(this);
    m_layout->addWidget(m_checkBox, 0, Qt::AlignVCenter);
    m_layout->addWidget(m_edit, 0, Qt::AlignVCenter);
    // Given more width, the controls keep to the left.
    m_layout->addStretch(1);
    applyFonts();

    m_shake->setDuration(kShakeMilliseconds);
    m_shake->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_shake, &QVariantAnimation::valueChanged, this, [this](const QVariant& counter) {
        m_edit->move(m_restX + qRound(shakeOffset(counter.toReal())), m_edit->y());
    });
    connect(m_shake, &QVariantAnimation::finished, this, [this] { m_edit->move(m_restX, m_edit->y()); });

    connect(m_checkBox, &QCheckBox::toggled, this, &OptionalIntSettingsField::checkBoxToggled);
    connect(m_edit, &QLineEdit::textEdited, this, &OptionalIntSettingsField::textEdited);
    connect(m_edit, &QLineEdit::returnPressed, this, &OptionalIntSettingsField::commit);
}

void OptionalIntSettingsField::setValue(std::optional<std::int64_t> value)
{
    if (value == m_value) {
        return;
    }
    m_value = value;
    showValue();
}

qreal OptionalIntSettingsField::shakeOffset(qreal counter)
{
    return kShakeAmplitude * std::sin(counter * std::numbers::pi * 3.0);
}

bool OptionalIntSettingsField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::FocusOut) {
        // A context menu or another window taking the keyboard is not the
        // user leaving the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            commit();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OptionalIntSettingsField::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        applyFonts();
    }
    QWidget::changeEvent(event);
}

void OptionalIntSettingsField::checkBoxToggled(bool ticked)
{
    if (!ticked) {
        write(std::nullopt);
        return;
    }
    const std::int64_t typed = parseLimitText(m_edit->text()).value_or(kTickedDefault);
    write(std::max(typed, m_minimum));
    // The owner may have answered with a value of its own.
    showValue();
}

void OptionalIntSettingsField::textEdited(const QString& text)
{
    const std::optional<std::int64_t> number = parseLimitText(text);
    if (number && *number >= m_minimum) {
        write(*number);
    }
}

void OptionalIntSettingsField::commit()
{
    if (!m_value || m_edit->text().isEmpty()) {
        return;
    }
    const std::optional<std::int64_t> number = parseLimitText(m_edit->text());
    if (number && *number >= m_minimum) {
        return;
    }
    m_sound->beep();
    if (number) {
        write(m_minimum);
        setText(limitText(m_minimum));
    } else if (m_value) {
        setText(limitText(*m_value));
    }
    shake();
}

void OptionalIntSettingsField::write(std::optional<std::int64_t> value)
{
    if (value != m_value) {
        m_value = value;
        showValue();
    }
    emit valueChanged(value);
}

void OptionalIntSettingsField::showValue()
{
    {
        const QSignalBlocker blocker(m_checkBox);
        m_checkBox->setChecked(m_value.has_value());
    }
    m_edit->setEnabled(m_value.has_value());
    setText(m_value ? limitText(*m_value) : QString());
}

void OptionalIntSettingsField::setText(const QString& text)
{
    if (m_edit->text() != text) {
        const QSignalBlocker blocker(m_edit);
        m_edit->setText(text);
    }
}

void OptionalIntSettingsField::shake()
{
    const qreal from = m_shakeAttempts;
    m_shakeAttempts += 1;
    if (m_shake->state() != QAbstractAnimation::Running) {
        m_restX = m_edit->x();
    }
    m_shake->stop();
    m_shake->setStartValue(from);
    m_shake->setEndValue(m_shakeAttempts);
    m_shake->start();
}

void OptionalIntSettingsField::applyFonts()
{
    const QFont caption = theme::captionFont(font());
    m_checkBox->setFont(caption);
    m_edit->setFont(caption);
}

}  // namespace tess
