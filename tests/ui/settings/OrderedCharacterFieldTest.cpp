#include "SettingsTestSupport.h"

#include "ui/settings/OrderedCharacterChip.h"
#include "ui/settings/OrderedCharacterField.h"
#include "ui/widgets/PopoverFrame.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>

#include <functional>

namespace tess {
namespace {

using List = std::vector<std::string>;

QStringList chipTexts(const OrderedCharacterField& field)
{
    QStringList texts;
    for (const OrderedCharacterChip* chip : field.chips()) {
        texts.append(chip->text());
    }
    return texts;
}

TEST(OrderedCharacterField, OperationsWriteOnceAndIgnorePositionsOutsideTheList)
{
    struct Case {
        const char* name;
        List start;
        std::function<void(OrderedCharacterField&)> act;
        std::optional<List> written;  // none: nothing written
    };
    const Case cases[] = {
        {"second moves left", {".", "-", "_"}, [](OrderedCharacterField& f) { f.moveLeft(1); }, List {"-", ".", "_"}},
        {"first does not move left", {".", "-"}, [](OrderedCharacterField& f) { f.moveLeft(0); }, std::nullopt},
        {"first moves right", {".", "-", "_"}, [](OrderedCharacterField& f) { f.moveRight(0); }, List {"-", ".", "_"}},
        {"last does not move right", {".", "-"}, [](OrderedCharacterField& f) { f.moveRight(1); }, std::nullopt},
        {"first removed", {".", "-", "_"}, [](OrderedCharacterField& f) { f.removeCharacter(0); }, List {"-", "_"}},
        {"left past the end", {".", "-"}, [](OrderedCharacterField& f) { f.moveLeft(2); }, std::nullopt},
        {"left far past the end", {".", "-"}, [](OrderedCharacterField& f) { f.moveLeft(SIZE_MAX); }, std::nullopt},
        {"right past the end", {".", "-"}, [](OrderedCharacterField& f) { f.moveRight(5); }, std::nullopt},
        {"remove past the end", {".", "-"}, [](OrderedCharacterField& f) { f.removeCharacter(2); }, std::nullopt},
        {"right on an empty list", {}, [](OrderedCharacterField& f) { f.moveRight(0); }, std::nullopt},
        {"remove on an empty list", {}, [](OrderedCharacterField& f) { f.removeCharacter(0); }, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OrderedCharacterField field;
        field.setValue(c.start);
        QSignalSpy writes(&field, &OrderedCharacterField::valueChanged);
        c.act(field);
        if (c.written) {
            ASSERT_EQ(writes.size(), 1);
            EXPECT_EQ(writes.first().first().value<List>(), *c.written);
            EXPECT_EQ(field.value(), *c.written);
        } else {
            EXPECT_EQ(writes.size(), 0);
            EXPECT_EQ(field.value(), c.start);
        }
    }
}

TEST(OrderedCharacterField, AChipBuiltForALongerListDoesNothingAfterTheListShrank)
{
    OrderedCharacterField field;
    field.setValue({".", "-", "_", " "});
    // The owner replaces the list (a preset) before the stale click lands.
    field.setValue({"."});
    QSignalSpy writes(&field, &OrderedCharacterField::valueChanged);
    field.moveLeft(3);
    field.removeCharacter(3);
    EXPECT_EQ(writes.size(), 0);
    EXPECT_EQ(field.value(), (List {"."}));
    EXPECT_FALSE(field.chips().front()->moveLeftButton()->isEnabled());
    EXPECT_FALSE(field.chips().front()->moveRightButton()->isEnabled());
}

TEST(OrderedCharacterField, ChipsShowTheListInOrderWithTheEndsDisabled)
{
    OrderedCharacterField field;
    EXPECT_TRUE(field.chips().empty());
    EXPECT_EQ(field.captionLabel()->text(), QStringLiteral("first = highest precedence"));
    field.setValue({" ", "\t", "<b>", "&"});
    EXPECT_EQ(chipTexts(field), (QStringList {"[SPACE]", "[TAB]", "<b>", "&"}));
    const auto chips = field.chips();
    EXPECT_FALSE(chips.front()->moveLeftButton()->isEnabled());
    EXPECT_TRUE(chips.front()->moveRightButton()->isEnabled());
    EXPECT_TRUE(chips.back()->moveLeftButton()->isEnabled());
    EXPECT_FALSE(chips.back()->moveRightButton()->isEnabled());
    EXPECT_EQ(chips[1]->moveLeftButton()->toolTip(), QStringLiteral("Increase precedence"));
    EXPECT_EQ(chips[1]->moveRightButton()->toolTip(), QStringLiteral("Decrease precedence"));
    EXPECT_EQ(chips[2]->findChild<QLabel*>()->textFormat(), Qt::PlainText);

    QSignalSpy writes(&field, &OrderedCharacterField::valueChanged);
    chips[1]->moveLeftButton()->click();
    EXPECT_EQ(field.value(), (List {"\t", " ", "<b>", "&"}));
    field.chips().back()->removeButton()->click();
    EXPECT_EQ(field.value(), (List {"\t", " ", "<b>"}));
    EXPECT_EQ(writes.size(), 2);
}

TEST(OrderedCharacterField, AddAppendsTheFirstCharacterUnlessPresentAndAlwaysCloses)
{
    struct Case {
        const char* typed;
        List expected;
        bool writes;
    };
    const Case cases[] = {
        {"-_", {".", "-"}, true},
        {" x", {".", " "}, true},  // untrimmed: the space is taken
        {".", {"."}, false},
        {"", {"."}, false},
        {"e\xCC\x81x", {".", "e\xCC\x81"}, true},  // one grapheme
        {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD!", {".", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        OrderedCharacterField field;
        field.setValue({"."});
        field.resize(300, 60);
        field.show();
        QSignalSpy writes(&field, &OrderedCharacterField::valueChanged);
        field.addButton()->click();
        ASSERT_TRUE(field.addPopover()->isVisible());
        EXPECT_TRUE(field.addLineEdit()->text().isEmpty());
        field.addLineEdit()->setText(QString::fromUtf8(c.typed));
        field.addTyped();
        EXPECT_EQ(field.value(), c.expected);
        EXPECT_EQ(writes.size(), c.writes ? 1 : 0);
        EXPECT_FALSE(field.addPopover()->isVisible());
    }
}

}  // namespace
}  // namespace tess
