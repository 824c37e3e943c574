#include "ui/mainwindow/QuitSheet.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tess {

QuitSheet::QuitSheet(QWidget* window)
    : QDialog(window)
{
    setObjectName(QStringLiteral("quitSheet"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Saving analysis results…"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Saving analysis results…"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* message = new QLabel(QStringLiteral("Please wait while results are saved to disk."), this);
    auto* progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("quitProgressBar"));
    progress->setRange(0, 0);  // indeterminate
    progress->setTextVisible(false);
    layout->addWidget(title);
    layout->addWidget(message);
    layout->addWidget(progress);
    setMinimumWidth(360);
}

}  // namespace tess
