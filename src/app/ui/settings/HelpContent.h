#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace tess {

// A point of a help popover: a bold label, a dash and its description, and
// sub-points shown verbatim below it.
struct HelpPoint {
    QString label;
    QString description;
    QStringList subpoints;

    // The point's text in the inline markup: "**label** — description", or
    // the bold label alone when there is no description.
    QString markup() const;
};

// The fixed text of one help popover of the advanced settings panel. The
// title, the introduction, the point texts and the note use the inline
// markup (MarkdownLite); sub-points are plain text.
struct HelpContent {
    QString title;
    QString introduction;
    std::vector<std::vector<HelpPoint>> lists;
    QString closingNote;  // empty: none

    static const HelpContent& destination();
    static const HelpContent& preferences();
    static const HelpContent& translationTable();
};

}  // namespace tess
