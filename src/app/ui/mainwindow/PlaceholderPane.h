#pragma once

#include "ui/widgets/ColorResource.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QToolButton;
class QHBoxLayout;
class QVBoxLayout;

namespace tess {

// A centred column that stands in for the issue list: an optional large
// symbol (a button when it has an action) or a busy indicator, a title, a
// text, a footnote and link buttons. All texts are plain text. The main
// window sets it up again for each state instead of building new panes.
class PlaceholderPane : public QWidget {
    Q_OBJECT

public:
    struct Link {
        QString title;
        std::function<void()> action;
    };
    struct Content {
        const char* symbol = nullptr;  // none: no symbol
        std::optional<ColorName> symbolColor;  // none: the secondary colour
        std::function<void()> symbolAction;  // makes the symbol a button
        bool busy = false;  // an indeterminate progress bar instead of a symbol
        QString title;
        QString text;
        QString emphasis;  // shown in medium weight before `text`, on one line with it (a path)
        QString footnote;
        std::vector<Link> links;
    };

    explicit PlaceholderPane(QWidget* parent = nullptr);

    void setContent(Content content);
    const Content& content() const { return m_content; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refreshSymbol();
    void buildEmphasisRow(QVBoxLayout& layout);

    Content m_content;
    QToolButton* m_symbol = nullptr;
    QProgressBar* m_busy = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_text = nullptr;
    // The emphasis and the text after it, side by side.
    QWidget* m_emphasisRow = nullptr;
    QLabel* m_emphasis = nullptr;
    QLabel* m_emphasisText = nullptr;
    QLabel* m_footnote = nullptr;
    QWidget* m_linkRow = nullptr;
    QHBoxLayout* m_linkLayout = nullptr;
};

}  // namespace tess
