#pragma once

#include <QFont>
#include <QString>

#include <functional>

class QLineEdit;
class QObject;
class QPushButton;
class QToolButton;
class QWidget;

namespace tess {

class PopoverFrame;

// The add button at the end of a chip field and its popover: a text field
// and a default "Add" button, enabled while the field holds text. The add
// button opens the popover, always empty; "Add" and Return in the field call
// `add`, which reads the text and closes the popover when it is done. The
// widgets belong to `flowWidget` (the button, which its owner places) and to
// the popover.
class ChipAdder {
public:
    // `placeholder` and `editWidth` are the text field's; its font and the
    // button's are taken from `base`. `add` is called in `receiver`'s context.
    ChipAdder(QWidget* flowWidget, const QString& placeholder, int editWidth, const QFont& base, QObject* receiver,
        std::function<void()> add);

    QToolButton* button() const { return m_button; }
    PopoverFrame* popover() const { return m_popover; }
    QLineEdit* edit() const { return m_edit; }
    QPushButton* push() const { return m_push; }

    // Opens the popover, empty, with the focus in its text field.
    void open() const;
    // Empties the text field and hides the popover.
    void close() const;

private:
    QToolButton* m_button;
    PopoverFrame* m_popover;
    QLineEdit* m_edit;
    QPushButton* m_push;
};

}  // namespace tess
