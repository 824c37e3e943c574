#include "SettingsTestSupport.h"

#include "ui/settings/LimitFieldText.h"
#include "ui/settings/OptionalIntSettingsField.h"
#include "ui/widgets/SystemSound.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tess {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

class FakeSound : public SystemSound {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

TEST(LimitFieldText, ParsesWholeSignedDecimalsOnly)
{
    struct Case {
        const char* text;
        std::optional<std::int64_t> value;
    };
    const std::vector<Case> cases {
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"0", 0},
        {"+30", 30},
        {"-5", -5},
        {"-0", 0},
        {"007", 7},
        {" 300", std::nullopt},
        {"300 ", std::nullopt},
        {"1 0", std::nullopt},
        {"1.0", std::nullopt},
        {"12a", std::nullopt},
        {"1e3", std::nullopt},
        {"+-1", std::nullopt},
        {"\u0663", std::nullopt},  // ARABIC-INDIC DIGIT THREE
        {"\uFF11\uFF12", std::nullopt},  // full-width 12
        {"9223372036854775807", kMax},
        {"9223372036854775808", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"-9223372036854775809", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseLimitText(QString::fromUtf8(c.text)), c.value);
    }
    EXPECT_EQ(limitText(-5), QStringLiteral("-5"));
    EXPECT_EQ(limitText(1234567), QStringLiteral("1234567"));
}

TEST(LimitFieldText, TheLargestIntegerIsAnEmptyField)
{
    EXPECT_EQ(limitFieldValue(kMax), std::nullopt);
    EXPECT_EQ(limitFieldValue(255), 255);
    EXPECT_EQ(limitFieldValue(0), 0);
    EXPECT_EQ(limitSettingValue(std::nullopt), kMax);
    EXPECT_EQ(limitSettingValue(12), 12);
    // Passed through unchanged: the binding neither clamps nor validates.
    EXPECT_EQ(limitSettingValue(-3), -3);
}

TEST(LimitFieldText, ShakeSwingsSixPointsAndRestsAtWholeNumbers)
{
    for (const qreal counter : {0.0, 1.0, 2.0, 7.0}) {
        EXPECT_NEAR(OptionalIntSettingsField::shakeOffset(counter), 0.0, 1e-9);
    }
    EXPECT_NEAR(OptionalIntSettingsField::shakeOffset(1.0 / 6.0), 6.0, 1e-9);
    EXPECT_NEAR(OptionalIntSettingsField::shakeOffset(0.5), -6.0, 1e-9);
    EXPECT_NEAR(OptionalIntSettingsField::shakeOffset(1.0 + 1.0 / 6.0), -6.0, 1e-9);
}

// A field in an active window, its writes recorded and echoed back as the
// panel's binding does, with a second editor to move the focus to.
class LimitFieldTest : public ::testing::Test {
protected:
    void make(std::int64_t minimum, std::optional<std::int64_t> value)
    {
        m_host = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_host.get());
        m_field = new OptionalIntSettingsField(QStringLiteral("File name"), QStringLiteral("255"), minimum,
            m_host.get(), &m_sound);
        m_other = new QLineEdit(m_host.get());
        layout->addWidget(m_field);
        layout->addWidget(m_other);
        m_field->setValue(value);
        QObject::connect(m_field, &OptionalIntSettingsField::valueChanged, m_field,
            [this](std::optional<std::int64_t> written) {
                m_writes.push_back(written);
                m_field->setValue(written);
            });
        m_host->show();
        QApplication::setActiveWindow(m_host.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_host.get()));
    }

    QLineEdit* edit() const { return m_field->lineEdit(); }

    void typeReplacing(const QString& text)
    {
        edit()->setFocus(Qt::MouseFocusReason);
        edit()->selectAll();
        if (!edit()->text().isEmpty()) {
            QTest::keyClick(edit(), Qt::Key_Backspace);
        }
        QTest::keyClicks(edit(), text);
    }

    FakeSound m_sound;
    std::unique_ptr<QWidget> m_host;
    OptionalIntSettingsField* m_field = nullptr;
    QLineEdit* m_other = nullptr;
    std::vector<std::optional<std::int64_t>> m_writes;
};

enum class Commit { returnKey,
    focusOut };

TEST_F(LimitFieldTest, TypingAndCommittingFollowTheTable)
{
    using Writes = std::vector<std::optional<std::int64_t>>;
    // Every prefix from "92" to the 18 digits before the overflowing one.
    const std::string tooLarge = "9223372036854775808";
    Writes longRun;
    for (std::size_t length = 2; length < tooLarge.size(); ++length) {
        longRun.push_back(std::stoll(tooLarge.substr(0, length)));
    }
    struct Case {
        const char* name;
        std::int64_t minimum;
        std::optional<std::int64_t> start;
        QString typed;
        Commit commit;
        Writes whileTyping;  // writes before the commit
        Writes onCommit;  // writes by the commit
        std::optional<std::int64_t> value;
        QString text;
        int beeps;
    };
    const std::vector<Case> cases {
        {"a good number is written while typing", 12, 100, "300", Commit::returnKey, {30, 300}, {}, 300, "300", 0},
        {"a leading space never parses; commit restores", 12, 100, " 300", Commit::returnKey, {}, {}, 100, "100", 1},
        {"a lone sign", 12, 100, "+", Commit::focusOut, {}, {}, 100, "100", 1},
        {"a decimal point", 12, 100, "1.0", Commit::returnKey, {}, {}, 100, "100", 1},
        {"12 is written, 12a restores it", 12, 255, "12a", Commit::focusOut, {12}, {}, 12, "12", 1},
        {"letters", 12, 100, "abc", Commit::focusOut, {}, {}, 100, "100", 1},
        {"below the minimum is raised to it", 12, 100, "8", Commit::returnKey, {}, {12}, 12, "12", 1},
        {"a negative number with minimum 1", 1, 100, "-5", Commit::returnKey, {}, {1}, 1, "1", 1},
        {"a plus sign is rewritten in plain form", 12, 100, "+30", Commit::returnKey, {30}, {}, 30, "30", 0},
        {"an overflowing number never wraps", 12, 100, "9223372036854775808", Commit::returnKey, longRun, {},
            922337203685477580, "922337203685477580", 1},
        {"an empty text is left alone", 12, 100, "", Commit::returnKey, {}, {}, 100, "", 0},
        {"an empty text on leaving the field", 12, 100, "", Commit::focusOut, {}, {}, 100, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_sound.beeps = 0;
        make(c.minimum, c.start);
        m_writes.clear();
        typeReplacing(c.typed);
        EXPECT_EQ(m_writes, c.whileTyping);
        const qreal shakesBefore = m_field->shakeAttempts();
        m_writes.clear();
        if (c.commit == Commit::returnKey) {
            QTest::keyClick(edit(), Qt::Key_Return);
        } else {
            m_other->setFocus(Qt::TabFocusReason);
            EXPECT_FALSE(edit()->hasFocus());
        }
        EXPECT_EQ(m_writes, c.onCommit);
        EXPECT_EQ(m_field->value(), c.value);
        EXPECT_EQ(edit()->text(), c.text);
        EXPECT_EQ(m_sound.beeps, c.beeps);
        EXPECT_EQ(m_field->shakeAttempts() - shakesBefore, c.beeps);
    }
}

TEST_F(LimitFieldTest, RepeatedBadEntriesShakeEveryTimeAndTheFieldComesToRest)
{
    make(12, 100);
    const int rest = edit()->x();
    for (int i = 1; i <= 3; ++i) {
        typeReplacing(QStringLiteral("x"));
        QTest::keyClick(edit(), Qt::Key_Return);
        EXPECT_EQ(m_field->shakeAttempts(), i);
    }
    EXPECT_EQ(m_sound.beeps, 3);
    bool moved = false;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        moved = moved || edit()->x() != rest;
        return moved && edit()->x() == rest;
    }));
    EXPECT_EQ(edit()->text(), QStringLiteral("100"));
}

TEST_F(LimitFieldTest, TheCheckboxSwitchesTheLimit)
{
    make(12, std::nullopt);
    EXPECT_FALSE(m_field->checkBox()->isChecked());
    EXPECT_FALSE(edit()->isEnabled());
    EXPECT_TRUE(edit()->text().isEmpty());
    EXPECT_EQ(edit()->placeholderText(), QStringLiteral("255"));

    QTest::mouseClick(m_field->checkBox(), Qt::LeftButton);
    EXPECT_EQ(m_writes, (std::vector<std::optional<std::int64_t>> {255}));
    EXPECT_TRUE(edit()->isEnabled());
    EXPECT_EQ(edit()->text(), QStringLiteral("255"));

    QTest::mouseClick(m_field->checkBox(), Qt::LeftButton);
    EXPECT_EQ(m_writes.back(), std::nullopt);
    EXPECT_FALSE(edit()->isEnabled());
    EXPECT_TRUE(edit()->text().isEmpty());

    // A minimum above 255 is what ticking gives.
    make(300, std::nullopt);
    QTest::mouseClick(m_field->checkBox(), Qt::LeftButton);
    EXPECT_EQ(m_writes.back(), 300);
    EXPECT_EQ(edit()->text(), QStringLiteral("300"));

    // An unticked field commits nothing.
    make(12, std::nullopt);
    m_field->lineEdit()->setEnabled(true);
    typeReplacing(QStringLiteral("x"));
    QTest::keyClick(edit(), Qt::Key_Return);
    EXPECT_EQ(m_sound.beeps, 0);
}

TEST_F(LimitFieldTest, RefreshesFromOutsideWithoutWritingAndKeepsTheTextBeingTyped)
{
    make(12, 255);
    // A change from elsewhere (a new destination) rewrites the text at once.
    m_field->setValue(259);
    EXPECT_EQ(edit()->text(), QStringLiteral("259"));
    m_field->setValue(std::nullopt);
    EXPECT_FALSE(m_field->checkBox()->isChecked());
    EXPECT_TRUE(edit()->text().isEmpty());
    m_field->setValue(64);
    EXPECT_TRUE(m_field->checkBox()->isChecked());
    EXPECT_EQ(edit()->text(), QStringLiteral("64"));
    EXPECT_TRUE(m_writes.empty());

    // The same value again, as when the owner republishes everything, keeps
    // what is being typed.
    typeReplacing(QStringLiteral("12a"));
    ASSERT_EQ(m_field->value(), 12);
    m_field->setValue(12);
    EXPECT_EQ(edit()->text(), QStringLiteral("12a"));
    EXPECT_TRUE(edit()->hasFocus());
}

TEST(LimitFieldScreenshots, FourFieldsLightAndDark)
{
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        test::setAppPalette(dark ? theme::darkPalette() : theme::lightPalette());
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        layout->setSpacing(4);
        struct Row {
            const char* label;
            const char* placeholder;
            std::int64_t minimum;
            std::optional<std::int64_t> value;
        };
        for (const Row& row : {Row {"File name", "255", 12, 255}, Row {"Folder name", "255", 8, std::nullopt},
                 Row {"Path depth", "\u221E", 1, 32}, Row {"Path length", "\u221E", 16, std::nullopt}}) {
            auto* field = new OptionalIntSettingsField(QString::fromUtf8(row.label), QString::fromUtf8(row.placeholder),
                row.minimum, &host);
            field->setValue(row.value);
            layout->addWidget(field, 0, Qt::AlignLeft);
        }
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        EXPECT_EQ(host.findChild<QLineEdit*>()->width(), 54);
        EXPECT_TRUE(host.grab().save(test::screenshotPath(dark ? "limits-dark" : "limits-light")));
    }
    test::setAppPalette(theme::lightPalette());
}

}  // namespace
}  // namespace tess
