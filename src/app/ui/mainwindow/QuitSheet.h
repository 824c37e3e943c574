#pragma once

#include <QDialog>

namespace tess {

// "Saving analysis results…": shown over the main window while the quit waits
// for queued index writes. It has no buttons; the application quits with it
// open once the writes are done. Closing it early (Escape, the window's close
// button) hides it and changes nothing else: the quit still goes on.
class QuitSheet : public QDialog {
    Q_OBJECT

public:
    explicit QuitSheet(QWidget* window);
};

}  // namespace tess
