#pragma once

#include "ui/settings/ChipSetField.h"

namespace tess {

// Edits a set of reserved names. A chip shows its name unchanged; the
// popover adds the typed name trimmed of white space and line breaks at
// both ends, and stays open (text kept) when nothing but blanks was typed.
class ReservedNameSetField : public ChipSetField {
    Q_OBJECT

public:
    explicit ReservedNameSetField(QWidget* parent = nullptr);

    // `typed` without its leading and trailing white space and line breaks.
    static QString trimmedName(const QString& typed);

protected:
    QString chipText(const std::string& member) const override;
    AddOutcome outcomeOf(const QString& typed) const override;
};

}  // namespace tess
