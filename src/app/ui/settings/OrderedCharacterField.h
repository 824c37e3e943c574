#pragma once

#include "ui/settings/ChipAdder.h"

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tess {

class FlowLayout;
class OrderedCharacterChip;
class PopoverFrame;

// An editor of an ordered list of characters, the first of highest
// precedence: one chip per element in list order, each movable one place
// either way and removable, then an add button whose popover appends the
// first character typed unless the list holds it already; below, a caption
// on the meaning of the order. The field owns no setting: every write is
// announced by valueChanged; setValue (the owner's refresh) announces
// nothing. An operation for a position outside the current list does
// nothing.
class OrderedCharacterField : public QWidget {
    Q_OBJECT

public:
    // `label`: the caption left of the chips; none when empty.
    explicit OrderedCharacterField(const QString& label = {}, QWidget* parent = nullptr);

    const std::vector<std::string>& value() const { return m_value; }
    void setValue(const std::vector<std::string>& value);

    std::vector<OrderedCharacterChip*> chips() const { return m_chips; }
    QToolButton* addButton() const { return m_adder.button(); }
    PopoverFrame* addPopover() const { return m_adder.popover(); }
    QLineEdit* addLineEdit() const { return m_adder.edit(); }
    QPushButton* addPushButton() const { return m_adder.push(); }
    QLabel* captionLabel() const { return m_caption; }

    void moveLeft(std::size_t position);
    void moveRight(std::size_t position);
    void removeCharacter(std::size_t position);
    // The add button's action: the popover opens, always empty.
    void openAddPopover();
    // The popover's "Add" (and Return in its text field): always closes.
    void addTyped();

signals:
    void valueChanged(const std::vector<std::string>& value);

private:
    void rebuildChips();
    void changeValue(std::vector<std::string> value);

    std::vector<std::string> m_value;
    std::vector<OrderedCharacterChip*> m_chips;
    QWidget* m_flowWidget;
    FlowLayout* m_flow;
    ChipAdder m_adder;
    QLabel* m_caption;
};

}  // namespace tess
