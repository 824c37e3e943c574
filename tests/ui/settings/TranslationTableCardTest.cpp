#include "SettingsTestSupport.h"

#include "rules/TranslationTable.h"
#include "ui/settings/TranslationTableCard.h"
#include "ui/settings/TranslationTableState.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

namespace tess {
namespace {

using Entries = std::vector<TranslationEntry>;

TEST(TranslationTableState, HexTextOfUtf8Scalars)
{
    struct Case {
        const char* key;
        const char* hex;
    };
    const Case cases[] = {
        {"A", "U+0041"},
        {"\xC3\xA9", "U+00E9"},  // precomposed é
        {"e\xCC\x81", "U+0065 U+0301"},
        {"\xF0\x9F\x98\x80", "U+1F600"},  // one scalar, two UTF-16 units
        {"%20", "U+0025 U+0032 U+0030"},
        {"\t", "U+0009"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(hexText(c.key), QString::fromLatin1(c.hex));
    }
    EXPECT_EQ(entryCountText(0), QStringLiteral("(0 entries)"));
    EXPECT_EQ(entryCountText(1), QStringLiteral("(1 entries)"));
    EXPECT_EQ(entryCountText(12345), QStringLiteral("(12345 entries)"));
}

class TranslationTableCardTest : public test::AdvancedFixture {
protected:
    TranslationTableCardTest()
        : m_card(model())
    {
        setEntries({{":", "_"}, {"%20", " "}, {"\t", ""}});
        m_card.resize(600, 400);
        m_card.show();
    }

    void setEntries(Entries entries)
    {
        model().updateActiveSettings([&entries](TransformationSettings& settings) { settings.translationTable.entries = std::move(entries); });
    }
    const Entries& entries() { return model().activeSettings().translationTable.entries; }

    TranslationTableCard m_card;
};

TEST_F(TranslationTableCardTest, RowsShowTheTableInOrder)
{
    ASSERT_EQ(m_card.rows().size(), 3U);
    EXPECT_EQ(m_card.countLabel()->text(), QStringLiteral("(3 entries)"));
    const auto& row = m_card.rows()[1];
    EXPECT_EQ(row.key->text(), QStringLiteral("%20"));
    EXPECT_EQ(row.hex->text(), QStringLiteral("U+0025 U+0032 U+0030"));
    EXPECT_EQ(row.replacement->text(), QStringLiteral(" "));
    EXPECT_EQ(m_card.rows()[2].key->toolTip(), Qt::convertFromPlainText(QStringLiteral("[TAB]")));
    EXPECT_EQ(m_card.rows()[2].hex->placeholderText(), QStringLiteral("U+0000"));
    EXPECT_EQ(m_card.rows()[2].replacement->placeholderText(), QStringLiteral("_"));
    EXPECT_EQ(m_card.addButton()->toolTip(), QStringLiteral("Add entry"));
}

TEST_F(TranslationTableCardTest, TypingCodePointsStoresEachValidStepAndKeepsTheTypedText)
{
    m_card.addButton()->click();
    ASSERT_EQ(m_card.rows().size(), 4U);
    EXPECT_EQ(entries().back(), (TranslationEntry {"", "_"}));
    QLineEdit* hex = m_card.rows()[3].hex;
    hex->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([hex] { return hex->hasFocus(); }));
    const struct {
        char typed;
        std::optional<std::string> stored;  // none: nothing written
    } steps[] = {
        {'U', std::nullopt},
        {'+', std::nullopt},
        {'0', std::string(1, '\0')},
        {'0', std::string(1, '\0')},
        {'0', std::string(1, '\0')},
        {'9', std::string("\t")},
    };
    QString typed;
    for (const auto& step : steps) {
        typed += QLatin1Char(step.typed);
        SCOPED_TRACE(typed.toStdString());
        saves = 0;
        QTest::keyClick(hex, step.typed);
        EXPECT_EQ(saves, step.stored ? 1 : 0);
        if (step.stored) {
            EXPECT_EQ(entries().back().from, *step.stored);
        }
        EXPECT_EQ(hex->text(), typed);  // the stored key does not overwrite it
    }
    EXPECT_EQ(m_card.rows()[3].key->toolTip(), Qt::convertFromPlainText(QStringLiteral("[TAB]")));
    EXPECT_EQ(m_card.rows()[3].key->text(), QStringLiteral("\t"));
}

TEST_F(TranslationTableCardTest, HexThatDoesNotParseChangesNothing)
{
    for (const char* input : {"41", "U+D800", "U+110000", "U", "U+", "U+123456789ABC", "U+0041,U+0042", ""}) {
        SCOPED_TRACE(input);
        saves = 0;
        m_card.editHex(0, QString::fromLatin1(input));
        EXPECT_EQ(saves, 0);
        EXPECT_EQ(entries()[0], (TranslationEntry {":", "_"}));
    }
    m_card.editHex(0, QStringLiteral("u+25 u+32 u+30"));
    EXPECT_EQ(entries()[0].from, "%20");  // duplicate keys stand as typed
    EXPECT_EQ(m_card.rows()[0].hex->text(), QStringLiteral("U+0025 U+0032 U+0030"));
}

TEST_F(TranslationTableCardTest, KeyAndReplacementCellsStoreWhatIsTyped)
{
    saves = 0;
    m_card.rows()[0].key->setFocus();
    m_card.rows()[0].key->selectAll();
    QTest::keyClicks(m_card.rows()[0].key, QStringLiteral("ab"));
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(entries()[0], (TranslationEntry {"ab", "_"}));
    EXPECT_EQ(m_card.rows()[0].hex->text(), QStringLiteral("U+0061 U+0062"));

    m_card.rows()[1].replacement->setFocus();
    m_card.rows()[1].replacement->selectAll();
    QTest::keyClick(m_card.rows()[1].replacement, Qt::Key_Backspace);
    EXPECT_EQ(entries()[1], (TranslationEntry {"%20", ""}));
    m_card.editKey(2, QString());
    EXPECT_EQ(entries()[2], (TranslationEntry {"", ""}));
    EXPECT_EQ(m_card.rows().size(), 3U);
}

TEST_F(TranslationTableCardTest, RemovingTheFirstRowMovesTheOthersUp)
{
    saves = 0;
    m_card.rows()[0].remove->click();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(entries(), (Entries {{"%20", " "}, {"\t", ""}}));
    ASSERT_EQ(m_card.rows().size(), 2U);
    EXPECT_EQ(m_card.rows()[0].key->text(), QStringLiteral("%20"));
    EXPECT_EQ(m_card.rows()[1].key->text(), QStringLiteral("\t"));
    EXPECT_EQ(m_card.countLabel()->text(), QStringLiteral("(2 entries)"));
    EXPECT_FALSE(m_card.rows()[0].widget->property("oddRow").toBool());
    EXPECT_TRUE(m_card.rows()[1].widget->property("oddRow").toBool());
}

TEST_F(TranslationTableCardTest, AnActionForARowThatWentAwayWritesNothing)
{
    setEntries({{":", "_"}});  // a preset replaced the table meanwhile
    const Entries before = entries();
    saves = 0;
    m_card.editKey(2, QStringLiteral("x"));
    m_card.editHex(2, QStringLiteral("U+0041"));
    m_card.editReplacement(1, QStringLiteral("y"));
    m_card.removeEntry(1);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(entries(), before);

    setEntries({});
    EXPECT_TRUE(m_card.rows().empty());
    EXPECT_EQ(m_card.countLabel()->text(), QStringLiteral("(0 entries)"));
}

}  // namespace
}  // namespace tess
