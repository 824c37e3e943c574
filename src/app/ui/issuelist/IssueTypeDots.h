#pragma once

#include "ui/issuelist/IssueTypePresentation.h"

#include <QWidget>

#include <optional>
#include <string>

namespace tess {

// A column of coloured dots, one per issue entry of an item (at most six,
// then one overflow dot), overlapping by 5 pixels. Its tooltip is the issue
// summary.
class IssueTypeDots : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal kDiameter = 13.0;
    static constexpr qreal kSpacing = -5.0;
    static constexpr int kWidth = 22;

    explicit IssueTypeDots(QWidget* parent = nullptr);

    void setIssueTypes(const std::optional<std::string>& issueTypes);
    const IssueDots& dots() const { return m_dots; }

    QSize sizeHint() const override;

    // The height the dots take.
    static qreal height(const IssueDots& dots);
    // Paints the dots centred in `rect` with colours of `palette`.
    static void paint(QPainter& painter, const QRectF& rect, const IssueDots& dots, const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    IssueDots m_dots;
};

}  // namespace tess
