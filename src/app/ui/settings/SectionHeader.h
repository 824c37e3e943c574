#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;

namespace tess {

// The title of a settings section: its symbol in a column 14 wide, then the
// title, upper-cased for display only, in the caption font and the
// secondary colour; then flexible space and, when given, a trailing widget
// (the section's help button).
class SectionHeader : public QWidget {
    Q_OBJECT

public:
    SectionHeader(const QIcon& symbol, const QString& title, QWidget* parent = nullptr);

    // The title as given (the label shows it upper-cased).
    QString title() const { return m_title; }
    // Places `widget` at the trailing end, replacing an earlier one.
    void setTrailingWidget(QWidget* widget);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyFonts();
    // Drawn again on a palette change: a symbol takes its colour from it.
    void applySymbol();

    QIcon m_icon;
    QString m_title;
    QLabel* m_symbol;
    QLabel* m_titleLabel;
    QHBoxLayout* m_layout;
    QWidget* m_trailing = nullptr;
};

}  // namespace tess
