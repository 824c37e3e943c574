#pragma once

#include "ui/widgets/ItemListLayout.h"

#include <QList>

#include <vector>

namespace tess {

struct FillWidths;

// Children left to right in rows that span the whole width: in one row
// while their minimum widths fit, else in as few rows as evenly filled as
// the widths allow (fillRows). A row's children share its width, so none
// is ever narrower than its minimum. Its height follows the width
// (height-for-width); a row is as tall as its tallest child.
class FillRowLayout : public ItemListLayout {
public:
    explicit FillRowLayout(QWidget* parent = nullptr, int spacing = 4, int lineSpacing = 4);

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

protected:
    int contentHeight(int width) const override;

private:
    static std::vector<FillWidths> widthsOf(const QList<QLayoutItem*>& items);
};

}  // namespace tess
