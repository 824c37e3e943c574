#pragma once

#include <QCheckBox>

namespace tess {

// A check box with a mixed state that shows only the state it is told. A
// click emits `clicked` and leaves the state alone; the host answers with
// setState. Keeps its natural size.
class TriStateCheckbox : public QCheckBox {
    Q_OBJECT

public:
    explicit TriStateCheckbox(QWidget* parent = nullptr);

    void setState(Qt::CheckState state);
    Qt::CheckState state() const { return checkState(); }

protected:
    void nextCheckState() override;
};

}  // namespace tess
