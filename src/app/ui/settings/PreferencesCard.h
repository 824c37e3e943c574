#pragma once

#include "rules/TargetEncoding.h"
#include "ui/widgets/Card.h"

#include <vector>

class QAction;
class QCheckBox;
class QLayout;
class QToolButton;
class QMenu;

namespace tess {

class CharacterSetField;
class HelpToggleButton;
class MonitorViewModel;
class OrderedCharacterField;
struct TransformationSettings;

// The "Preferences" card: how names are cleaned, whatever the destination.
// The text encoding, the characters stripped at either end, the cleaning of
// repeated separators with their order of precedence, three automatic
// clean-ups and two path tools. Each edit writes only its own field of the
// active settings, in one store of the model; the card refreshes in place
// when the settings change.
class PreferencesCard : public Card {
    Q_OBJECT

public:
    // The five plain toggles, in display order.
    enum Toggle { stripControlCharacters,
        normalizeWhitespace,
        stripInvisibleCharacters,
        smartPathShortening,
        cleanupEmptyDirectories };
    static constexpr int kToggleCount = 5;

    explicit PreferencesCard(MonitorViewModel& model, QWidget* parent = nullptr);

    HelpToggleButton* helpButton() const { return m_helpButton; }
    QToolButton* encodingButton() const { return m_encodingButton; }
    QMenu* encodingMenu() const { return m_encodingMenu; }
    QAction* encodingAction(TargetEncoding encoding) const;
    CharacterSetField* stripLeadingField() const { return m_stripLeading; }
    CharacterSetField* stripTrailingField() const { return m_stripTrailing; }
    QCheckBox* separatorsBox() const { return m_separatorsBox; }
    OrderedCharacterField* separatorsField() const { return m_separators; }
    QCheckBox* toggle(Toggle which) const { return m_toggles[static_cast<std::size_t>(which)]; }

    // The setting a toggle edits.
    static bool TransformationSettings::*toggleSetting(Toggle which);

private:
    void refresh();
    // A settings row: its title, then its controls.
    void addRow(const QString& title, QLayout* controls);
    static QLayout* singleControl(QWidget* widget, bool stretch);
    QWidget* makeEncodingMenu();
    void addStripRows();
    void addSeparatorsRow();
    void addToggleRows();

    MonitorViewModel& m_model;
    HelpToggleButton* m_helpButton;
    QMenu* m_encodingMenu;
    QToolButton* m_encodingButton;
    std::vector<QAction*> m_encodingActions;
    CharacterSetField* m_stripLeading;
    CharacterSetField* m_stripTrailing;
    QCheckBox* m_separatorsBox;
    OrderedCharacterField* m_separators;
    std::vector<QCheckBox*> m_toggles;
};

}  // namespace tess
