#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

class QCheckBox;
class QHBoxLayout;
class QLineEdit;
class QVariantAnimation;

namespace tess {

class SystemSound;

// Edits one optional whole-number limit: a checkbox says whether the limit
// is set, a small text field holds it. Valid numbers of at least `minimum`
// are written while the user types; the rest is checked on Return or when
// the field loses focus. A bad entry beeps, shakes the text field and is
// replaced (by the current value, or by the minimum when the number is
// below it, which is then written). No words are ever shown.
//
// Every write is announced by valueChanged, also when the number equals the
// last one; setValue (the owner's refresh) announces nothing and leaves the
// typed text alone when the value is the one already shown.
class OptionalIntSettingsField : public QWidget {
    Q_OBJECT

public:
    // `sound` null: the system's (QApplication::beep). Not owned.
    OptionalIntSettingsField(const QString& label, const QString& placeholder, std::int64_t minimum,
        QWidget* parent = nullptr, SystemSound* sound = nullptr);

    std::optional<std::int64_t> value() const { return m_value; }
    void setValue(std::optional<std::int64_t> value);
    std::int64_t minimum() const { return m_minimum; }

    QCheckBox* checkBox() const { return m_checkBox; }
    QLineEdit* lineEdit() const { return m_edit; }
    // How many shakes were started (it only grows).
    qreal shakeAttempts() const { return m_shakeAttempts; }

    // Horizontal offset of the text field while the shake counter animates
    // through `counter`: 6 * sin(counter * pi * 3); 0 at every whole number.
    static qreal shakeOffset(qreal counter);

signals:
    void valueChanged(std::optional<std::int64_t> value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void checkBoxToggled(bool ticked);
    void textEdited(const QString& text);
    void commit();
    // Writes `value`: stores it, shows it when it differs, announces it.
    void write(std::optional<std::int64_t> value);
    void showValue();
    void setText(const QString& text);
    void shake();
    void applyFonts();

    std::int64_t m_minimum;
    SystemSound* m_sound;
    std::optional<std::int64_t> m_value;
    qreal m_shakeAttempts = 0;
    int m_restX = 0;  // where the text field sits when it does not shake
    QHBoxLayout* m_layout;
    QCheckBox* m_checkBox;
    QLineEdit* m_edit;
    QVariantAnimation* m_shake;
};

}  // namespace tess
