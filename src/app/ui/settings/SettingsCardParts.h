#pragma once

// Small pieces shared by the cards of the advanced settings panel.

#include <QFont>

class QFrame;
class QLabel;
class QMenu;
class QString;
class QToolButton;
class QWidget;

namespace tess::settingsCard {

// A horizontal divider line.
QFrame* divider(QWidget* parent);

// A label that shows `text` as plain text.
QLabel* plainLabel(QWidget* parent, const QString& text);

// The subheadline style, medium weight: row titles of the settings cards.
QFont subheadlineFont(const QFont& base);

// The second caption size: 11 twelfths of the caption font.
QFont captionTwoFont();

// A small menu button: its menu pops up at once; symbol (14) and text side
// by side in the caption font.
QToolButton* menuButton(QMenu* menu, const QString& objectName, QWidget* parent);

}  // namespace tess::settingsCard
