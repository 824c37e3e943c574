#pragma once

#include <QAbstractButton>

#include <string>

namespace tess {

// The filter badge of one issue type: its symbol and short label above the
// number of listed items with that type, filled with the type's colour while
// active. Its minimum width holds the whole count and the label's start; a
// narrower badge shortens its label, never its count. A click emits
// `clicked`; the host decides what it changes.
class IssueFilterBadge : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kHeight = 48;

    explicit IssueFilterBadge(QWidget* parent = nullptr);

    void setIssueType(const std::string& key);
    void setCount(qint64 count);
    void setActive(bool active);

    const std::string& issueType() const { return m_issueType; }
    bool isActive() const { return m_active; }
    QString labelText() const;
    // The count with the grouping of the widget's locale.
    QString countText() const;
    // The label and the count as drawn at the current width: the label
    // shortened to fit ("…" alone at the least), the count always whole.
    QString shownLabelText() const;
    QString shownCountText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::string m_issueType;
    qint64 m_count = 0;
    bool m_active = true;
};

}  // namespace tess
