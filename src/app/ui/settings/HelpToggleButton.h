#pragma once

#include <QToolButton>

namespace tess {

class HelpPopover;
struct HelpContent;

// A section's borderless help button: each click opens its help popover
// under it, or closes it when open.
class HelpToggleButton : public QToolButton {
    Q_OBJECT

public:
    HelpToggleButton(const HelpContent& content, QWidget* parent = nullptr);

    HelpPopover* popover() const { return m_popover; }

private:
    HelpPopover* m_popover;
};

}  // namespace tess
