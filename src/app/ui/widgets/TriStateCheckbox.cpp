#include "ui/widgets/TriStateCheckbox.h"

namespace tess {

TriStateCheckbox::TriStateCheckbox(QWidget* parent)
    : QCheckBox(parent)
{
    setObjectName(QStringLiteral("triStateCheckbox"));
    setTristate(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TriStateCheckbox::setState(Qt::CheckState state)
{
    setCheckState(state);
}

void TriStateCheckbox::nextCheckState()
{
    // The host decides the next state.
}

}  // namespace tess
