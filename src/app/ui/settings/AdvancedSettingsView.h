#pragma once

#include <QWidget>

class QMessageBox;
class QScrollArea;
class QVBoxLayout;

namespace tess {

class DestinationCapabilitiesCard;
class DestinationTestResultsSheet;
class MonitorViewModel;
class PreferencesCard;
class PresetBar;
class SystemSound;
class TranslationTableCard;

// The advanced settings panel: the settings cards in a vertical scroll area,
// with the preset bar pinned below it. The panel owns no settings; every
// control reads the model and writes through it.
//
// The destination test results sheet is shown exactly while the model holds
// a probed folder, and the "Test Failed" alert exactly while it holds a probe
// error; each follows only its own value, and closing either by the user
// clears that value.
class AdvancedSettingsView : public QWidget {
    Q_OBJECT

public:
    // `sound`: the alert sound of the limit fields; null is the system's.
    explicit AdvancedSettingsView(MonitorViewModel& model, QWidget* parent = nullptr, SystemSound* sound = nullptr);

    QScrollArea* scrollArea() const { return m_scrollArea; }
    PreferencesCard* preferencesCard() const { return m_preferencesCard; }
    DestinationCapabilitiesCard* destinationCard() const { return m_destinationCard; }
    TranslationTableCard* translationTableCard() const { return m_translationCard; }
    PresetBar* presetBar() const { return m_presetBar; }
    DestinationTestResultsSheet* testResultsSheet() const { return m_testResults; }
    QMessageBox* testFailedAlert() const { return m_testFailed; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void followPendingProbe();
    void followProbeError();

    MonitorViewModel& m_model;
    QScrollArea* m_scrollArea;
    QVBoxLayout* m_sections;
    PreferencesCard* m_preferencesCard;
    DestinationCapabilitiesCard* m_destinationCard;
    TranslationTableCard* m_translationCard;
    PresetBar* m_presetBar;
    DestinationTestResultsSheet* m_testResults;
    QMessageBox* m_testFailed;
};

}  // namespace tess
