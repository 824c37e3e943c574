#pragma once

#include "ui/widgets/Card.h"

#include <cstddef>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;

namespace tess {

class HelpToggleButton;
class MonitorViewModel;

// The "Translation Table" card: the substitution rules of the active
// settings as a grid of editable cells (key, its code points, replacement)
// in table order, each rule removable, with a button that appends a rule.
// Every user edit is written at once, in one store of the model; the grid
// refreshes in place, and the cell being typed in keeps its text. Rows are
// identified by position; an action for a position the table no longer has
// writes nothing.
class TranslationTableCard : public Card {
    Q_OBJECT

public:
    struct Row {
        QWidget* widget = nullptr;
        QLineEdit* key = nullptr;
        QLineEdit* hex = nullptr;
        QLineEdit* replacement = nullptr;
        QToolButton* remove = nullptr;
        std::string shownKey;  // the key the row showed last
    };

    explicit TranslationTableCard(MonitorViewModel& model, QWidget* parent = nullptr);

    HelpToggleButton* helpButton() const { return m_helpButton; }
    QLabel* countLabel() const { return m_count; }
    QToolButton* addButton() const { return m_add; }
    const std::vector<Row>& rows() const { return m_rows; }

    // The editor's operations, for row `position` as it was built.
    void editKey(std::size_t position, const QString& text);
    void editHex(std::size_t position, const QString& text);
    void editReplacement(std::size_t position, const QString& text);
    void removeEntry(std::size_t position);
    void addEntry();

protected:
    // Paints the table box and the tinted rows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    Row makeRow(std::size_t position);

    MonitorViewModel& m_model;
    HelpToggleButton* m_helpButton;
    QLabel* m_count;
    QWidget* m_box;
    QVBoxLayout* m_rowsLayout;
    QToolButton* m_add;
    std::vector<Row> m_rows;
};

}  // namespace tess
