#pragma once

#include "rules/FilesystemPreset.h"
#include "rules/OSPreset.h"
#include "ui/widgets/Card.h"

class QAction;
class QCheckBox;
class QMenu;
class QToolButton;

namespace tess {

class HelpToggleButton;
class LimitsSection;
class MonitorViewModel;
class SystemSound;

// The "Destination Capabilities" card: the client systems, the destination
// (a filesystem preset with its case variant, or a folder to probe), then
// the limits and reserved names derived from them. Each choice is written
// through the model's one store per step; the card refreshes in place when
// the model changes.
class DestinationCapabilitiesCard : public Card {
    Q_OBJECT

public:
    // `sound`: the limit fields' alert sound; null is the system's.
    DestinationCapabilitiesCard(MonitorViewModel& model, QWidget* parent = nullptr, SystemSound* sound = nullptr);

    HelpToggleButton* helpButton() const { return m_helpButton; }
    QToolButton* clientOSButton() const { return m_clientOSButton; }
    QMenu* clientOSMenu() const { return m_clientOSMenu; }
    QAction* clientOSAction(OSPreset system) const;
    QToolButton* filesystemButton() const { return m_filesystemButton; }
    QMenu* filesystemMenu() const { return m_filesystemMenu; }
    QAction* noneAction() const { return m_noneAction; }
    QAction* testDestinationAction() const { return m_testAction; }
    QAction* filesystemAction(FilesystemPreset preset) const;
    QCheckBox* caseSensitiveBox() const { return m_caseSensitive; }
    LimitsSection* limits() const { return m_limits; }

protected:
    // Keeps the Client OS menu open while its entries are toggled.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void toggleClientOS(OSPreset system, bool on);
    void clearFilesystem();
    void selectFilesystem(FilesystemPreset preset);
    void chooseCaseVariant(bool caseSensitive);
    void refresh();

    MonitorViewModel& m_model;
    HelpToggleButton* m_helpButton;
    QToolButton* m_clientOSButton;
    QMenu* m_clientOSMenu;
    QList<QAction*> m_clientOSActions;
    QToolButton* m_filesystemButton;
    QMenu* m_filesystemMenu;
    QAction* m_noneAction;
    QAction* m_testAction;
    QList<QAction*> m_filesystemActions;
    QCheckBox* m_caseSensitive;
    LimitsSection* m_limits;
};

}  // namespace tess
