#pragma once

#include "ui/settings/ChipSetField.h"

class QLabel;

namespace tess {

// Edits a set of single characters (one grapheme each). A chip shows its
// character as the translation table's editor does ("[SPACE]", "[TAB]",
// "[C1:85]"); the popover adds the first character typed, untrimmed, and
// always closes. An optional caption stands left of the chips.
class CharacterSetField : public ChipSetField {
    Q_OBJECT

public:
    // Without a caption.
    explicit CharacterSetField(QWidget* parent = nullptr);
    // With `label` as its caption (none when empty).
    explicit CharacterSetField(const QString& label, QWidget* parent = nullptr);

    // The first grapheme of `typed`, if any.
    static std::optional<std::string> firstCharacter(const QString& typed);

protected:
    QString chipText(const std::string& member) const override;
    AddOutcome outcomeOf(const QString& typed) const override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_label = nullptr;
};

}  // namespace tess
