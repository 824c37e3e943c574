#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace tess {

class MonitorViewModel;
class SavePresetSheet;

// The strip at the foot of the advanced settings panel: "Save" (into the
// active custom preset), "Save As...", "Delete" (the active custom preset),
// the "Modified" badge, "Reset" (back to the active preset) and "Done"
// (Escape; closes the panel). Save, Delete and Reset act on the preset the
// model resolves as active. Follows the model in place.
class PresetBar : public QWidget {
    Q_OBJECT

public:
    explicit PresetBar(MonitorViewModel& model, QWidget* parent = nullptr);

    QPushButton* saveButton() const { return m_save; }
    QPushButton* saveAsButton() const { return m_saveAs; }
    QPushButton* deleteButton() const { return m_delete; }
    QLabel* modifiedBadge() const { return m_modified; }
    QPushButton* resetButton() const { return m_reset; }
    QPushButton* doneButton() const { return m_done; }
    SavePresetSheet* saveAsSheet() const { return m_sheet; }

    void saveIntoActivePreset();
    void deleteActivePreset();
    void resetToActivePreset();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void applyColors();

    MonitorViewModel& m_model;
    QPushButton* m_save;
    QPushButton* m_saveAs;
    QPushButton* m_delete;
    QLabel* m_modified;
    QPushButton* m_reset;
    QPushButton* m_done;
    SavePresetSheet* m_sheet;
};

}  // namespace tess
