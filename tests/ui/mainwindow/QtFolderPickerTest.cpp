#include "ui/mainwindow/QtFolderPicker.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>

#include <optional>
#include <string>

namespace tess {
namespace {

QFileDialog* openDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget);
            dialog != nullptr && dialog->objectName() == "folderPickerFileDialog" && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

TEST(QtFolderPickerTest, AsksForOneFolderWithoutBlockingAndAnswersOnce)
{
    test::TempDir dir;
    dir.makeDir("chosen");
    QtFolderPicker picker;

    struct Case {
        const char* name;
        bool accept;
        std::optional<std::string> answer;
    };
    const Case cases[] = {
        {"chosen", true, dir / "chosen"},
        {"cancelled", false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int calls = 0;
        std::optional<std::string> answer;
        picker.chooseFolder("Select a source folder to scan", "Select", [&](const std::optional<std::string>& folder) {
            ++calls;
            answer = folder;
        });
        EXPECT_EQ(calls, 0);  // returned before the user answered
        QFileDialog* dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Select a source folder to scan");
        EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Select");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->isModal());
        if (c.accept) {
            dialog->setDirectory(QString::fromStdString(dir.path()));
            dialog->selectFile(QString::fromStdString(dir / "chosen"));
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, through the public base
        } else {
            dialog->reject();
        }
        QApplication::processEvents();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(answer, c.answer);
    }
}

}  // namespace
}  // namespace tess
