#include "ui/mainwindow/QtFolderPicker.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
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

// The chooser opens at the current source folder while it exists, else at
// the home folder; never at the process's working folder.
TEST(QtFolderPickerTest, OpensAtTheSourceFolderOrTheHomeFolder)
{
    test::TempDir dir;
    dir.makeDir("source  two");
    QtFolderPicker picker;
    struct Case {
        const char* name;
        std::optional<std::string> source;
        QString expected;
    };
    const Case cases[] = {
        {"no source", std::nullopt, QDir::homePath()},
        {"existing source", dir / "source  two", QString::fromStdString(dir / "source  two")},
        {"source gone", dir / "gone", QDir::homePath()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        picker.setStartFolder([&c] { return c.source; });
        EXPECT_EQ(picker.startDirectory(), c.expected);
        bool answered = false;
        picker.chooseFolder("Select a source folder to scan", "Select", [&](const std::optional<std::string>&) { answered = true; });
        QFileDialog* dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(QDir(dialog->directory()).absolutePath(), QDir(c.expected).absolutePath());
        dialog->reject();
        QApplication::processEvents();
        EXPECT_TRUE(answered);
    }
    QtFolderPicker unset;
    EXPECT_EQ(unset.startDirectory(), QDir::homePath());
}

}  // namespace
}  // namespace tess
