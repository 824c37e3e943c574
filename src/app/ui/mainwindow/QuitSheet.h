#pragma once

#include <QDialog>

namespace tess {

// "Saving analysis results…": shown over the main window while the quit waits
// for queued index writes. It has no buttons; the quit goes on by itself.
class QuitSheet : public QDialog {
    Q_OBJECT

public:
    explicit QuitSheet(QWidget* window);

protected:
    // Escape does not close it: the wait goes on either way.
    void reject() override { }
};

}  // namespace tess
