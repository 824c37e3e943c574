#pragma once

#include "ui/help/HelpReference.h"
#include "ui/widgets/ColorResource.h"

#include <QString>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

class QGridLayout;
class QLabel;
class QVBoxLayout;

namespace tess {

// The reference of the help window: a header bar over one scrolling page
// with four sections (the filesystem limits table, the client OS table, the
// Unicode encodings and the trailing and leading spaces). Both tables are
// built from the destination rules when the view is made; every text on the
// page can be selected. It keeps no state and takes no input.
class HelpView : public QWidget {
    Q_OBJECT

public:
    explicit HelpView(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // The scrolled page, whole (for a picture of all of it).
    QWidget* page() const { return m_page; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeHeaderBar();
    QWidget* makeFilesystemLimitsSection();
    QWidget* makeClientOSSection();
    QWidget* makeEncodingSection();
    QWidget* makeSpacesSection();

    // A section: its title over its parts, 8 apart; the parts go in the
    // returned layout.
    QWidget* makeSection(const QString& title, QVBoxLayout*& content);
    // A section of prose: in one card, the introduction, the bullet points
    // (in the list widget `listName`, `pointSpacing` apart) and the closing
    // note in the caption font, 12 apart.
    QWidget* makeProseSection(const QString& title, const QString& introduction, const QString& listName,
        int pointSpacing, const std::vector<QLabel*>& points, QLabel* closing);
    QLabel* makeLabel(const QString& text, Qt::TextFormat format);
    QLabel* makeSecondaryLabel(const QString& text, Qt::TextFormat format);
    QLabel* makeNamedColorLabel(const QString& text, Qt::TextFormat format, ColorName color);
    QWidget* makeBulletRow(QLabel* text);
    // The section's caption and, in a card under it, a table (the widget
    // `tableName`) with its header row and divider; rows go in the returned
    // grid from row 2.
    QGridLayout* addTable(
        QVBoxLayout& content, const QString& caption, const QString& tableName, const std::vector<QString>& titles);
    QLabel* makeCell(const std::string& text, const QFont& font);
    QLabel* makeIllegalCharactersCell(const std::string& text, const QFont& font);
    QLabel* makeReservedCell(const std::string& text, const QFont& font);
    QWidget* makeCaseCell(HelpReference::CaseCell cell);

    // Labels drawn in a named colour take it from the palette again on
    // every palette change.
    void applyColors();

    QWidget* m_page = nullptr;
    std::vector<std::pair<QLabel*, ColorName>> m_namedColorLabels;
};

}  // namespace tess
