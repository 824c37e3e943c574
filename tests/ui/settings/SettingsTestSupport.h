#pragma once

#include "FakeFolderPicker.h"
#include "TempDir.h"
#include "WidgetTestSupport.h"
#include "model/FolderPicker.h"
#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "ui/widgets/SystemSound.h"

#include <gtest/gtest.h>

#include <QPalette>
#include <QString>

#include <deque>
#include <memory>

class QWidget;

namespace tess::test {

// Where a review screenshot of that name goes (the folder is created).
QString screenshotPath(const QString& name);
// Saves `widget` as "<name>-light" or "<name>-dark", per the current palette.
void saveThemedScreenshot(QWidget& widget, const QString& name);

// Counts beeps.
class CountingSound : public SystemSound {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

// The real view model over a settings store in a temporary folder; `saves`
// counts the store's writes of the document.
class AdvancedFixture : public ::testing::Test {
protected:
    AdvancedFixture();
    ~AdvancedFixture() override;

    MonitorViewModel& model() { return *m_model; }
    SettingsManager& settings() { return *m_settings; }
    // The settings as stored in the defaults file.
    AppSettings storedSettings() const;
    // Probes `folder` through the filesystem menu's model operation, the
    // prober answering `result`; waits for the probe to land.
    void probe(const std::string& folder, Result<FilesystemDetector::Detection> result);

    TempDir m_dir;
    std::unique_ptr<SettingsManager> m_settings;
    std::shared_ptr<FakeFolderPicker> m_picker = std::make_shared<FakeFolderPicker>();
    std::shared_ptr<Result<FilesystemDetector::Detection>> m_probeResult;
    std::unique_ptr<MonitorViewModel> m_model;
    CountingSound m_sound;
    int saves = 0;
};

// A probe's detection with the given capabilities and summary.
FilesystemDetector::Detection detection(const FilesystemCapabilities& capabilities, std::string summary = "ext4 (probed) \u2022 case-sensitive");

}  // namespace tess::test
