#include "ui/help/HelpView.h"

#include "WidgetTestSupport.h"
#include "ui/help/HelpReference.h"
#include "ui/widgets/ColorResource.h"
#include "ui/widgets/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTest>

#include <string>
#include <vector>

namespace tess {
namespace {

using HelpReference::CaseCell;

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QString caseText(CaseCell cell)
{
    switch (cell) {
    case CaseCell::toggle:
        return QStringLiteral("Toggle");
    case CaseCell::checkmark:
        return QStringLiteral("checkmark");
    case CaseCell::xmark:
        return QStringLiteral("xmark");
    case CaseCell::dash:
        break;
    }
    return QStringLiteral("—");
}

class HelpViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_originalPalette = QApplication::palette();
        m_view.resize(1064, 700);
        m_view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_view));
    }
    void TearDown() override { QApplication::setPalette(m_originalPalette); }

    QGridLayout* grid(const char* tableName)
    {
        auto* table = m_view.findChild<QWidget*>(QString::fromLatin1(tableName));
        return table == nullptr ? nullptr : qobject_cast<QGridLayout*>(table->layout());
    }

    // What a cell reads: a label's text, the name in an OS cell, or the
    // symbol's name for a symbol.
    static QString cellText(QGridLayout& grid, int row, int column)
    {
        QLayoutItem* item = grid.itemAtPosition(row, column);
        if (item == nullptr || item->widget() == nullptr) {
            return QStringLiteral("<missing>");
        }
        QWidget* widget = item->widget();
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            return label->text();
        }
        if (auto* name = widget->findChild<QLabel*>(QStringLiteral("osNameLabel"))) {
            return name->text();
        }
        return widget->accessibleName();
    }

    static std::vector<QString> rowTexts(QGridLayout& grid, int row)
    {
        std::vector<QString> texts;
        for (int column = 0; column < grid.columnCount(); ++column) {
            texts.push_back(cellText(grid, row, column));
        }
        return texts;
    }

    void saveScreenshot(const QString& name)
    {
        // The page at its full height, not only the part in view.
        ASSERT_TRUE(m_view.page()->grab().save(test::screenshotPath(QStringLiteral("views"), name)));
        ASSERT_TRUE(m_view.grab().save(test::screenshotPath(QStringLiteral("views"), name + QStringLiteral("-window"))));
    }

    QPalette m_originalPalette;
    HelpView m_view;
};

TEST_F(HelpViewTest, FilesystemTableShowsEveryPresetFromTheRules)
{
    QGridLayout* table = grid("filesystemTable");
    ASSERT_NE(table, nullptr);
    const auto rows = HelpReference::filesystemRows();
    ASSERT_EQ(rows.size(), 13U);
    // Header, divider, then one row per preset.
    ASSERT_EQ(table->rowCount(), 15);
    ASSERT_EQ(table->columnCount(), 8);
    EXPECT_EQ(rowTexts(*table, 0),
        (std::vector<QString> {"Preset", "Case Sens.", "Encoding", "Filename (B)", "Max Depth", "Path Len (B)",
            "Illegal Chars", "Reserved"}));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const HelpReference::FilesystemRow& row = rows[i];
        SCOPED_TRACE(row.preset);
        EXPECT_EQ(rowTexts(*table, static_cast<int>(i) + 2),
            (std::vector<QString> {fromStd(row.preset), caseText(row.caseCell), fromStd(row.encoding),
                fromStd(row.filename), fromStd(row.depth), fromStd(row.pathLength), fromStd(row.illegalCharacters),
                fromStd(row.reserved)}));
    }

    struct Case {
        int row;
        int column;
        const char* text;
    };
    const Case cells[] = {
        {2, 0, "FAT"},
        {2, 1, "xmark"},
        {2, 3, "255"},
        {2, 5, "∞"},
        {8, 0, "Google Drive"},
        {8, 4, "20"},
        {8, 7, "none"},
        {9, 1, "Toggle"},  // NFS
        {11, 6, "NUL : \\ \" * < > ? | # %"},  // OneDrive
        {13, 1, "checkmark"},  // S3
        {14, 0, "ext4"},
        {14, 5, "4095"},
        {14, 7, ". .."},
    };
    for (const Case& cell : cells) {
        SCOPED_TRACE(cell.text);
        EXPECT_EQ(cellText(*table, cell.row, cell.column), QString::fromUtf8(cell.text));
    }
}

TEST_F(HelpViewTest, OSTableShowsEachSystemWithItsIcon)
{
    QGridLayout* table = grid("osTable");
    ASSERT_NE(table, nullptr);
    const auto rows = HelpReference::osRows();
    ASSERT_EQ(rows.size(), 3U);
    ASSERT_EQ(table->rowCount(), 5);
    ASSERT_EQ(table->columnCount(), 6);
    EXPECT_EQ(rowTexts(*table, 0),
        (std::vector<QString> {"OS", "Case Sens.", "Max Filename", "Max Path Len", "Illegal Chars", "Reserved"}));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const HelpReference::OSRow& row = rows[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(rowTexts(*table, static_cast<int>(i) + 2),
            (std::vector<QString> {fromStd(row.name), caseText(row.caseCell), fromStd(row.maxFilename),
                fromStd(row.maxPathLength), fromStd(row.illegalCharacters), fromStd(row.reserved)}));
    }

    struct Case {
        int row;
        const char* name;
        const char* icon;
        const char* caseCell;
        const char* maxPath;
    };
    const Case systems[] = {
        {2, "Windows", "Windows", "xmark", "259*"},
        {3, "macOS", "apple.logo", "—", "1023"},
        {4, "Linux", "Linux", "—", "4095"},
    };
    for (const Case& os : systems) {
        SCOPED_TRACE(os.name);
        EXPECT_EQ(cellText(*table, os.row, 0), QString::fromUtf8(os.name));
        QWidget* nameCell = table->itemAtPosition(os.row, 0)->widget();
        auto* icon = nameCell->findChild<QWidget*>(QStringLiteral("symbolView"));
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->accessibleName(), QString::fromUtf8(os.icon));
        EXPECT_EQ(cellText(*table, os.row, 1), QString::fromUtf8(os.caseCell));
        EXPECT_EQ(cellText(*table, os.row, 2), QStringLiteral("—"));
        EXPECT_EQ(cellText(*table, os.row, 3), QString::fromUtf8(os.maxPath));
    }
}

TEST_F(HelpViewTest, SectionsAndTextsReadAsWritten)
{
    std::vector<QString> titles;
    for (QLabel* label : m_view.findChildren<QLabel*>(QStringLiteral("sectionTitleLabel"))) {
        titles.push_back(label->text());
    }
    EXPECT_EQ(titles, (std::vector<QString> {"Filesystem Limits", "Client OS Restrictions", "Unicode Encoding", "Trailing & Leading Spaces"}));

    // Every text on the page can be selected.
    for (QLabel* label : m_view.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_TRUE(label->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    }

    // Bold spans are rendered, not shown as asterisks.
    auto* note = m_view.findChild<QLabel*>(QStringLiteral("spacesNoteLabel"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->textFormat(), Qt::RichText);
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("The <b>Remove Trailing Spaces</b> and <b>Remove Leading Spaces</b>")));
    EXPECT_FALSE(note->text().contains(QStringLiteral("**")));

    // One bullet per encoding, its name bold; renamed names are written as
    // proposed, while the warning about macOS itself stays.
    std::vector<QString> bullets;
    for (QLabel* label : m_view.findChild<QWidget*>(QStringLiteral("encodingList"))->findChildren<QLabel*>(QStringLiteral("bulletTextLabel"))) {
        bullets.push_back(label->text());
    }
    ASSERT_EQ(bullets.size(), 4U);
    EXPECT_TRUE(bullets[0].startsWith(QStringLiteral("<b>ASCII:</b> Transliterates")));
    EXPECT_TRUE(bullets[2].startsWith(QStringLiteral("<b>UTF-8 Full:</b> Full Unicode with no normalization.")));
    EXPECT_TRUE(bullets[2].contains(QStringLiteral("byte for byte as proposed")));
    EXPECT_FALSE(bullets[2].contains(QStringLiteral("standard macOS behaviour")));
    EXPECT_TRUE(bullets[3].startsWith(QStringLiteral("<b>UTF-8 Full (NFC):</b> Full Unicode with active NFC (precomposed) normalization.")));
    auto* warning = m_view.findChild<QLabel*>(QStringLiteral("nfcWarningLabel"));
    ASSERT_NE(warning, nullptr);
    EXPECT_TRUE(warning->text().startsWith(QStringLiteral("<b>Important: macOS and NFC normalization.</b>")));
}

TEST_F(HelpViewTest, NamedColoursFollowTheTheme)
{
    auto* warning = m_view.findChild<QLabel*>(QStringLiteral("nfcWarningLabel"));
    ASSERT_NE(warning, nullptr);
    QApplication::setPalette(theme::lightPalette());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return warning->palette().color(QPalette::WindowText) == namedColor(ColorName::warm, theme::lightPalette());
    }));
    saveScreenshot(QStringLiteral("help-light"));

    QApplication::setPalette(theme::darkPalette());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return warning->palette().color(QPalette::WindowText) == namedColor(ColorName::warm, theme::darkPalette());
    }));
    // The rest of the label's palette follows the theme too.
    EXPECT_EQ(warning->palette().color(QPalette::Window), theme::darkPalette().color(QPalette::Window));
    saveScreenshot(QStringLiteral("help-dark"));
}

}  // namespace
}  // namespace tess
