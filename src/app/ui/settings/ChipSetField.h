#pragma once

#include "rules/RuleTypes.h"
#include "ui/settings/ChipAdder.h"

#include <QWidget>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class QLineEdit;
class QPushButton;
class QToolButton;

namespace tess {

class FlowLayout;
class PopoverFrame;
class SetChip;

// An editor of an unordered set of texts: one removable chip per member in
// canonical (NFC code-point) order, then an add button whose popover takes a
// typed text. The field owns no setting: every write (a removal, an add,
// also of a member already there) is applied to the chips at once and
// announced by valueChanged; setValue refreshes the chips in place (widgets
// of members that stay are kept) without announcing.
class ChipSetField : public QWidget {
    Q_OBJECT

public:
    const CanonicalStringSet& value() const { return m_value; }
    void setValue(const CanonicalStringSet& value);

    // Chips in display order.
    std::vector<SetChip*> chips() const;
    QToolButton* addButton() const { return m_adder.button(); }
    PopoverFrame* addPopover() const { return m_adder.popover(); }
    QLineEdit* addLineEdit() const { return m_adder.edit(); }
    QPushButton* addPushButton() const { return m_adder.push(); }

    // The add button's action: the popover opens, always empty.
    void openAddPopover();
    // The popover's "Add" (and Return in its text field).
    void addTyped();

signals:
    void valueChanged(const tess::CanonicalStringSet& value);

protected:
    // What one typed text does: the member it adds (none: nothing), and
    // whether the popover closes and clears.
    struct AddOutcome {
        std::optional<std::string> member;
        bool closes = true;
    };

    // `placeholder` and `editWidth` are those of the popover's text field.
    ChipSetField(const QString& placeholder, int editWidth, QWidget* parent);

    // The layout the chips and the add button live in; subclasses put it
    // where they want it.
    QWidget* flowWidget() const { return m_flowWidget; }
    virtual QString chipText(const std::string& member) const = 0;
    virtual AddOutcome outcomeOf(const QString& typed) const = 0;

private:
    void rebuildChips();
    void remove(const std::string& member);
    void changeValue(CanonicalStringSet value);

    CanonicalStringSet m_value;
    // Members and their chips, in display order.
    std::vector<std::pair<std::string, SetChip*>> m_chips;
    QWidget* m_flowWidget;
    FlowLayout* m_flow;
    ChipAdder m_adder;
};

}  // namespace tess
