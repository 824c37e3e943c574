#pragma once

#include <QLayout>
#include <QList>

#include <vector>

namespace tess {

struct FillWidths;

// Children left to right in rows that span the whole width: in one row
// while their minimum widths fit, else in as few rows as evenly filled as
// the widths allow (fillRows). A row's children share its width, so none
// is ever narrower than its minimum. Its height follows the width
// (height-for-width); a row is as tall as its tallest child.
class FillRowLayout : public QLayout {
public:
    explicit FillRowLayout(QWidget* parent = nullptr, int spacing = 4, int lineSpacing = 4);
    ~FillRowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // The items that take place (hidden widgets take none).
    QList<QLayoutItem*> shownItems() const;
    static std::vector<FillWidths> widthsOf(const QList<QLayoutItem*>& items);
    // The rows' total height for a width inside the margins.
    int contentHeight(const QList<QLayoutItem*>& items, int width) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
    int m_lineSpacing;
};

}  // namespace tess
