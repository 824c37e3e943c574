#pragma once

#include "ui/widgets/PopoverFrame.h"

class QLabel;

namespace tess {

struct HelpContent;

// A help popover of the settings views: the title, the introduction, the
// lists of points (bullet, bold label, dash, description) with their
// sub-points, and an optional note, in a column 420 wide whose height
// follows the text. All text can be selected. Shown under its anchor (the
// help button).
class HelpPopover : public PopoverFrame {
    Q_OBJECT

public:
    static constexpr int kWidth = 420;

    HelpPopover(const HelpContent& content, QWidget* anchor);

protected:
    QSize popUpSize() const override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* addLabel(QWidget* parent, const QString& text, Qt::TextFormat format);
    void applyColors();

    QList<QLabel*> m_tertiary;
    QLabel* m_note = nullptr;
};

}  // namespace tess
