#pragma once

#include <QLabel>

namespace tess {

// The label of a settings row: caption font, secondary colour, right-aligned
// (also over several lines) in a column 80 wide, so the controls of every
// row line up.
class SettingsRowLabel : public QLabel {
    Q_OBJECT

public:
    static constexpr int kWidth = 80;

    explicit SettingsRowLabel(const QString& text, QWidget* parent = nullptr);
};

}  // namespace tess
