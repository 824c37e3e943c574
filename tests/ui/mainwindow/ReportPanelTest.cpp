#include "TempDir.h"
#include "TestEnvironment.h"

#include "ui/mainwindow/QtReportSavePanel.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QStyleFactory>
#include <QTest>

#include <memory>
#include <optional>

namespace tess {
namespace {

using ReportFormat = AppSettings::ReportFormat;

class ReportSavePanelTest : public ::testing::Test {
protected:
    // The panel is reviewed in the light palette; the program's stays as it was.
    ReportSavePanelTest()
        : m_palette(QApplication::palette())
    {
        QApplication::setPalette(theme::lightPalette());
        m_window.resize(900, 600);
        m_window.show();
    }
    ~ReportSavePanelTest() override { QApplication::setPalette(m_palette); }

    // Opens the panel in the temporary folder; the answer lands in m_answer.
    QFileDialog* open(const ReportSaveRequest& request, ReportFormat stored)
    {
        m_panel.open(request, stored, [this](const std::optional<ReportSaveChoice>& choice) {
            ++m_answers;
            m_answer = choice;
        });
        QFileDialog* dialog = m_panel.dialog();
        EXPECT_NE(dialog, nullptr);
        const QString name = nameEdit(dialog)->text();
        dialog->setDirectory(QString::fromStdString(m_dir.path()));
        nameEdit(dialog)->setText(name);
        return dialog;
    }

    static QLineEdit* nameEdit(QFileDialog* dialog)
    {
        return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    }

    // Picks the other format the way a user does, from the keyboard.
    static void chooseFormat(QFileDialog* dialog, ReportFormat format)
    {
        auto* popup = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, format == ReportFormat::csv ? Qt::Key_Down : Qt::Key_Up);
        ASSERT_EQ(popup->currentIndex(), format == ReportFormat::csv ? 1 : 0);
    }

    QPalette m_palette;
    test::TempDir m_dir;
    QWidget m_window;
    QtReportSavePanel m_panel {&m_window};
    int m_answers = 0;
    std::optional<ReportSaveChoice> m_answer;
};

TEST_F(ReportSavePanelTest, OpensOnTheStoredFormatWithTheRequestedTitleAndName)
{
    struct Case {
        ReportSaveRequest request;
        ReportFormat stored;
        const char* title;
        const char* name;
        const char* filter;
    };
    const Case cases[] = {
        {ReportSaveRequest::renameReport(), ReportFormat::csv, "Export Rename Report", "rename-report.csv",
            "CSV (*.csv)"},
        {ReportSaveRequest::scanReport(), ReportFormat::json, "Export Report", "tessaline-report.json",
            "JSON (*.json)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        m_panel.open(c.request, c.stored, [](const std::optional<ReportSaveChoice>&) {});
        QFileDialog* dialog = m_panel.dialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(dialog->labelText(QFileDialog::FileType), QStringLiteral("Format:"));
        EXPECT_EQ(dialog->nameFilters(), (QStringList {"JSON (*.json)", "CSV (*.csv)"}));
        EXPECT_EQ(dialog->selectedNameFilter(), QString::fromUtf8(c.filter));
        EXPECT_EQ(nameEdit(dialog)->text(), QString::fromUtf8(c.name));
        dialog->reject();
    }
}

TEST_F(ReportSavePanelTest, SwitchingTheFormatRewritesOnlyTheExtension)
{
    struct Case {
        const char* typed;
        ReportFormat from;
        ReportFormat to;
        const char* expected;
    };
    const Case cases[] = {
        {"my.report.csv", ReportFormat::csv, ReportFormat::json, "my.report.json"},
        {"my.report.json", ReportFormat::json, ReportFormat::csv, "my.report.csv"},
        {"name", ReportFormat::csv, ReportFormat::json, "name.json"},
        {".hidden", ReportFormat::json, ReportFormat::csv, ".hidden.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        QFileDialog* dialog = open(ReportSaveRequest::renameReport(), c.from);
        nameEdit(dialog)->clear();
        QTest::keyClicks(nameEdit(dialog), QString::fromUtf8(c.typed));
        chooseFormat(dialog, c.to);
        EXPECT_EQ(nameEdit(dialog)->text(), QString::fromUtf8(c.expected));
        dialog->reject();
    }
}

TEST_F(ReportSavePanelTest, AnswersWithThePathAndTheFormatShownOrNothingWhenCancelled)
{
    QFileDialog* dialog = open(ReportSaveRequest::scanReport(), ReportFormat::csv);
    chooseFormat(dialog, ReportFormat::json);
    EXPECT_EQ(m_answers, 0);
    static_cast<QDialog*>(dialog)->accept();  // the Save button
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_answers == 1; }));
    ASSERT_TRUE(m_answer);
    EXPECT_EQ(m_answer->filePath, QString::fromStdString(m_dir / "tessaline-report.json"));
    EXPECT_EQ(m_answer->filePathBytes(), m_dir / "tessaline-report.json");
    EXPECT_EQ(m_answer->format, ReportFormat::json);

    // A name typed without extension gets the chosen format's.
    dialog = open(ReportSaveRequest::renameReport(), ReportFormat::json);
    chooseFormat(dialog, ReportFormat::csv);
    nameEdit(dialog)->setText(QStringLiteral("plain"));
    static_cast<QDialog*>(dialog)->accept();  // the Save button
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_answers == 2; }));
    ASSERT_TRUE(m_answer);
    EXPECT_EQ(m_answer->filePath, QString::fromStdString(m_dir / "plain.csv"));
    EXPECT_EQ(m_answer->format, ReportFormat::csv);

    dialog = open(ReportSaveRequest::renameReport(), ReportFormat::json);
    dialog->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_answers == 3; }));
    EXPECT_FALSE(m_answer);
}

// The panel opens in the home folder, then in the folder of the last report
// saved; a cancelled panel leaves that folder as it was.
TEST_F(ReportSavePanelTest, OpensInTheFolderOfTheLastExport)
{
    EXPECT_EQ(m_panel.startFolder(), QDir::homePath());
    m_panel.open(ReportSaveRequest::scanReport(), ReportFormat::json, [](const std::optional<ReportSaveChoice>&) {});
    QFileDialog* first = m_panel.dialog();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(QDir(first->directory()).absolutePath(), QDir::homePath());
    EXPECT_EQ(nameEdit(first)->text(), QStringLiteral("tessaline-report.json"));
    first->reject();

    m_dir.makeDir("reports  2026");
    const QString folder = QString::fromStdString(m_dir / "reports  2026");
    QFileDialog* dialog = open(ReportSaveRequest::scanReport(), ReportFormat::json);
    dialog->setDirectory(folder);
    nameEdit(dialog)->setText(QStringLiteral("first.json"));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_answers == 1; }));
    EXPECT_EQ(m_panel.startFolder(), folder);

    for (const bool accept : {false, true}) {
        SCOPED_TRACE(accept ? "saved again" : "cancelled");
        m_panel.open(ReportSaveRequest::historyReport(), ReportFormat::csv, [](const std::optional<ReportSaveChoice>&) {});
        QFileDialog* again = m_panel.dialog();
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(QDir(again->directory()).absolutePath(), folder);
        EXPECT_EQ(nameEdit(again)->text(), QStringLiteral("history-report.csv"));
        if (accept) {
            static_cast<QDialog*>(again)->accept();
        } else {
            again->reject();
        }
        QApplication::processEvents();
        EXPECT_EQ(m_panel.startFolder(), folder);
    }
}

TEST_F(ReportSavePanelTest, NoAnswerAfterThePanelIsGone)
{
    bool answered = false;
    QPointer<QFileDialog> dialog;
    {
        QtReportSavePanel panel(&m_window);
        panel.open(ReportSaveRequest::scanReport(), ReportFormat::json,
            [&answered](const std::optional<ReportSaveChoice>&) { answered = true; });
        dialog = panel.dialog();
    }
    ASSERT_TRUE(dialog);
    dialog->reject();
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered);
}

TEST_F(ReportSavePanelTest, Screenshot)
{
    const QString folder = QStringLiteral(TESSALINE_BINARY_DIR "/screenshots/reports");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (bool dark : {false, true}) {
        QApplication::setPalette(dark ? theme::darkPalette() : theme::lightPalette());
        QFileDialog* dialog = open(ReportSaveRequest::renameReport(), ReportFormat::csv);
        dialog->resize(760, 460);
        QCoreApplication::processEvents();
        EXPECT_TRUE(dialog->grab().save(folder + (dark ? "/save-panel-dark.png" : "/save-panel-light.png")));
        dialog->reject();
    }
    QApplication::setPalette(theme::lightPalette());
}

}  // namespace
}  // namespace tess
