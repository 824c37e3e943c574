#pragma once

#include <QLayout>
#include <QList>

namespace tess {

// The part every wrapping row layout here shares: the list of items it owns,
// the spacing between items and between rows, no margins, and a height that
// follows the width. Subclasses place the items and measure their rows.
class ItemListLayout : public QLayout {
public:
    ItemListLayout(QWidget* parent, int spacing, int lineSpacing);
    ~ItemListLayout() override;

    int spacing() const { return m_spacing; }
    int lineSpacing() const { return m_lineSpacing; }

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    // The rows' total height for a width inside the margins.
    virtual int contentHeight(int width) const = 0;
    // The items that take place (hidden widgets take none).
    QList<QLayoutItem*> shownItems() const;

    QList<QLayoutItem*> m_items;
    const int m_spacing;
    const int m_lineSpacing;
};

}  // namespace tess
