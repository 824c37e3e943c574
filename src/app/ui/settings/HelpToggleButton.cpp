#include "ui/settings/HelpToggleButton.h"

#include "ui/settings/HelpPopover.h"
#include "ui/widgets/Symbol.h"

namespace tess {

HelpToggleButton::HelpToggleButton(const HelpContent& content, QWidget* parent)
    : QToolButton(parent)
    , m_popover(new HelpPopover(content, this))
{
    setObjectName(QStringLiteral("helpButton"));
    setAutoRaise(true);
    setIcon(symbol::icon("info.circle", ColorName::cool));
    setIconSize(QSize(16, 16));
    connect(this, &QToolButton::clicked, m_popover, [this] {
        if (m_popover->isVisible()) {
            m_popover->hide();
        } else {
            m_popover->popUp();
        }
    });
}

}  // namespace tess
