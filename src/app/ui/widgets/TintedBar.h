#pragma once

#include <QWidget>

namespace tess {

// The header or footer strip of a sheet: a fill of the secondary label
// colour at 5 %, read from the palette at paint time.
class TintedBar : public QWidget {
    Q_OBJECT

public:
    explicit TintedBar(QWidget* parent = nullptr);

    // A one-pixel separator line across a sheet.
    static QWidget* makeDivider(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tess
