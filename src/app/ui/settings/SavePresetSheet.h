#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tess {

class MonitorViewModel;

// "Save Preset As": asks for the name of a new preset made of the current
// settings. A window-modal sheet that owns Escape ("Cancel", the typed name
// stays for next time unless cleared) and Return ("Save"). "Save" is
// enabled only for a name the model accepts; otherwise a short line says
// why.
class SavePresetSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 300;

    explicit SavePresetSheet(MonitorViewModel& model, QWidget* parent = nullptr);

    QLineEdit* nameEdit() const { return m_name; }
    QLabel* reasonLabel() const { return m_reason; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* saveButton() const { return m_save; }

    // Empties the name field and opens the sheet.
    void openEmpty();
    // Saves the typed name as a new preset and closes; nothing when the
    // model refuses the name.
    void save();

private:
    void validate();

    MonitorViewModel& m_model;
    QLineEdit* m_name;
    QLabel* m_reason;
    QPushButton* m_cancel;
    QPushButton* m_save;
};

}  // namespace tess
