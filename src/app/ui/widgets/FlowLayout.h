#pragma once

#include <QLayout>
#include <QList>

#include <optional>
#include <vector>

namespace tess {

// A wrapping row layout: children left to right at their size hints,
// wrapping onto a new row when the next one would cross the width. Rows
// start at the left edge; the items of a row share its top edge. Takes all
// the width offered; its height follows the width (height-for-width).
// Nothing is cached: every query measures the children again.
class FlowLayout : public QLayout {
public:
    explicit FlowLayout(QWidget* parent = nullptr, int spacing = 2, int lineSpacing = 2);
    ~FlowLayout() override;

    int spacing() const { return m_spacing; }
    int lineSpacing() const { return m_lineSpacing; }

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    // Adds `widget` at `index` (clamped to the ends).
    void insertWidget(int index, QWidget* widget);

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // The items that take place (hidden widgets take none).
    QList<QLayoutItem*> shownItems() const;
    static std::vector<QSize> sizesOf(const QList<QLayoutItem*>& items);
    // The rows' size for a width inside the margins; none is unbounded.
    QSize contentSize(std::optional<int> width) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
    int m_lineSpacing;
};

}  // namespace tess
