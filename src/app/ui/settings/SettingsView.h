#pragma once

#include "model/PreferencesManager.h"

#include <QDialog>
#include <QPointer>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace tess {

class Card;
class HelperStatusManager;
class HelpPopover;
class UpdateManager;

// The application's settings sheet: window-modal over the window that opens
// it (with open()), 520 by 640, four cards (General, Updates, Exclusions,
// Advanced) in a scroll area over a footer with "Done". Every control writes
// through at once to a PreferencesManager of its own, to the updater, or to
// the helper's status manager, so closing the sheet in any way loses nothing.
// Each time it comes on screen it refreshes the database figures, then the
// helper's status; while shown, every activation of the application
// refreshes the helper's status again.
class SettingsView : public QDialog {
    Q_OBJECT

public:
    // `preferences` builds the sheet's own PreferencesManager; the helper's
    // status manager and the update manager are shared and outlive the sheet.
    SettingsView(PreferencesManager::Dependencies preferences, HelperStatusManager& helperStatus,
        UpdateManager& updates, QWidget* parent = nullptr);

    PreferencesManager& preferencesManager() const { return *m_preferences; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Card* buildGeneralCard();
    Card* buildUpdatesCard();
    Card* buildExclusionsCard();
    Card* buildAdvancedCard();
    QWidget* buildDaemonBlock(QWidget* parent);
    QWidget* buildDatabaseRow(QWidget* parent);
    QWidget* buildFooter();

    // A row of a title on the left and `control` on the right.
    QWidget* settingRow(QWidget* parent, const QString& title, QWidget* control);
    // A switch with no visible label.
    QCheckBox* settingSwitch(QWidget* parent, const QString& objectName, const QString& accessibleName = {});
    // A title, flexible space and a help button that shows or hides the popover.
    QWidget* helpRow(QWidget* parent, const QString& title, const QString& buttonName, QPointer<HelpPopover>& popover,
        HelpPopover* (*build)(QWidget* anchor));
    QLabel* caption(QWidget* parent, const QString& text);

    void toggleHelp(QToolButton* button, QPointer<HelpPopover>& popover, HelpPopover* (*build)(QWidget* anchor));
    void onUsePrivilegedHelperToggled(bool enabled);
    void onDaemonButtonClicked();
    void confirmReset();
    void refreshHelperStatus();

    void applyAppearance();
    void applySegmentColors();
    void applyStartAtLogin();
    void applyDebugLogging();
    void applyUsePrivilegedHelper();
    void applyExcludePatterns();
    void applyDatabaseStats();
    void applyUpdater();
    void applyDaemonBlock();
    void applyColors();

    PreferencesManager* m_preferences;
    HelperStatusManager& m_helper;
    UpdateManager& m_updates;

    QScrollArea* m_scrollArea = nullptr;
    QButtonGroup* m_appearanceGroup = nullptr;
    QCheckBox* m_startAtLogin = nullptr;
    QCheckBox* m_debugLogging = nullptr;
    QCheckBox* m_autoCheck = nullptr;
    QCheckBox* m_autoDownload = nullptr;
    QPushButton* m_checkForUpdates = nullptr;
    QPlainTextEdit* m_patterns = nullptr;
    QPointer<HelpPopover> m_excludeHelp;
    QPointer<HelpPopover> m_implicitHelp;
    QCheckBox* m_usePrivilegedHelper = nullptr;
    QWidget* m_statusRow = nullptr;
    QWidget* m_statusDot = nullptr;
    QLabel* m_statusText = nullptr;
    QPushButton* m_daemonButton = nullptr;
    QWidget* m_actionBox = nullptr;
    QLabel* m_actionTitle = nullptr;
    QLabel* m_step1 = nullptr;
    QLabel* m_step2 = nullptr;
    QLabel* m_step3 = nullptr;
    QLabel* m_countText = nullptr;
    QLabel* m_sizeText = nullptr;
    QPushButton* m_resetButton = nullptr;
};

}  // namespace tess
