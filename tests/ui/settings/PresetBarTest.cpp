#include "SettingsTestSupport.h"

#include "rules/TessalinePreset.h"
#include "ui/settings/PresetBar.h"
#include "ui/settings/PresetBarState.h"
#include "ui/settings/SavePresetSheet.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

namespace tess {
namespace {

TessalinePreset customPreset(std::string name, std::optional<FilesystemPreset> filesystem)
{
    return TessalinePreset {Uuid::random(), std::move(name), TransformationSettings::make(filesystem, false, {OSPreset::linux}), false};
}

class PresetBarTest : public test::AdvancedFixture {
protected:
    PresetBarTest()
        : m_bar(model())
    {
        m_bar.resize(640, 40);
        m_bar.show();
    }

    void store(const std::vector<TessalinePreset>& presets)
    {
        settings().updateSettings([&presets](AppSettings& document) { document.preferences.customPresets = presets; });
    }
    void modify()
    {
        model().updateActiveSettings([](TransformationSettings& settings) { settings.smartPathShortening = !settings.smartPathShortening; });
    }
    std::vector<TessalinePreset> customPresets() const { return settings().settings().preferences.customPresets; }
    const SettingsManager& settings() const { return *m_settings; }
    using AdvancedFixture::settings;

    PresetBar m_bar;
};

TEST_F(PresetBarTest, WhatTheBarShowsForEachKindOfActivePreset)
{
    const TessalinePreset mine = customPreset("Mine <b>&", FilesystemPreset::fat);
    const TessalinePreset legacy = customPreset("Strict Shell Safe", std::nullopt);
    store({mine, legacy});
    struct Case {
        const char* name;
        std::function<void()> arrange;
        bool save;
        bool saveEnabled;
        bool modified;
    };
    const Case cases[] = {
        {"no name", [] {}, false, false, true},
        {"built-in unchanged", [this] { model().applyPreset(TessalinePreset::crossPlatformFileServer()); }, false, false, false},
        {"built-in modified", [this] { modify(); }, false, false, true},
        {"custom unchanged", [&] { model().applyPreset(mine.id); }, true, false, false},
        {"custom modified", [this] { modify(); }, true, true, true},
        {"legacy custom named like a built-in", [&] { model().applyPreset(legacy.id); }, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        EXPECT_EQ(!m_bar.saveButton()->isHidden(), c.save);
        EXPECT_EQ(!m_bar.deleteButton()->isHidden(), c.save);
        EXPECT_EQ(m_bar.saveButton()->isEnabled(), c.saveEnabled);
        EXPECT_TRUE(m_bar.deleteButton()->isEnabled());
        EXPECT_EQ(!m_bar.modifiedBadge()->isHidden(), c.modified);
        EXPECT_EQ(!m_bar.resetButton()->isHidden(), c.modified);
        EXPECT_FALSE(m_bar.saveAsButton()->isHidden());
        EXPECT_FALSE(m_bar.doneButton()->isHidden());
    }
    model().applyPreset(mine.id);
    EXPECT_EQ(m_bar.saveButton()->toolTip(), Qt::convertFromPlainText(QStringLiteral("Save changes to \"Mine <b>&\"")));
    EXPECT_EQ(m_bar.deleteButton()->toolTip(), Qt::convertFromPlainText(QStringLiteral("Delete preset \"Mine <b>&\"")));
    EXPECT_EQ(m_bar.saveAsButton()->toolTip(), QStringLiteral("Save current settings as a new preset"));
    EXPECT_EQ(m_bar.resetButton()->toolTip(), QStringLiteral("Revert to saved preset settings"));
    EXPECT_EQ(m_bar.modifiedBadge()->text(), QStringLiteral("Modified"));
}

TEST_F(PresetBarTest, SaveUpdatesOnlyTheActivePresetWithOneSave)
{
    const TessalinePreset first = customPreset("First", std::nullopt);
    const TessalinePreset second = customPreset("Second", std::nullopt);
    store({first, second});
    model().applyPreset(second.id);
    modify();
    ASSERT_TRUE(m_bar.saveButton()->isEnabled());
    saves = 0;
    m_bar.saveButton()->click();
    EXPECT_EQ(saves, 1);
    const std::vector<TessalinePreset> presets = storedSettings().preferences.customPresets;
    ASSERT_EQ(presets.size(), 2U);
    EXPECT_EQ(presets[0].settings, first.settings);
    EXPECT_EQ(presets[1].settings, model().activeSettings());
    EXPECT_FALSE(model().isPresetModified());
    EXPECT_FALSE(m_bar.saveButton()->isEnabled());
    EXPECT_TRUE(m_bar.modifiedBadge()->isHidden());
}

TEST_F(PresetBarTest, DeleteRemovesOnlyTheActivePresetAndBringsBackTheDefault)
{
    // Two of one name, stored elsewhere: the bar acts on the one applied.
    const TessalinePreset first = customPreset("Twin", std::nullopt);
    const TessalinePreset second = customPreset("Twin", FilesystemPreset::ext4);
    const TessalinePreset other = customPreset("Other", std::nullopt);
    store({first, second, other});
    model().applyPreset(second.id);
    m_bar.deleteButton()->click();
    const std::vector<TessalinePreset> presets = storedSettings().preferences.customPresets;
    ASSERT_EQ(presets.size(), 2U);
    EXPECT_EQ(presets[0].id, first.id);
    EXPECT_EQ(presets[1].id, other.id);
    EXPECT_EQ(model().activePresetName(), std::optional<std::string>("Cross Platform File Server"));
    EXPECT_EQ(model().activeSettings(), TessalinePreset::crossPlatformFileServer().settings);
    EXPECT_TRUE(m_bar.deleteButton()->isHidden());
}

TEST_F(PresetBarTest, ResetRestoresThePresetAndKeepsAFolderDestinationOnlyWithoutAFilesystem)
{
    const TessalinePreset plain = customPreset("Plain", std::nullopt);
    const TessalinePreset onFat = customPreset("On FAT", FilesystemPreset::fat);
    store({plain, onFat});
    struct Case {
        const TessalinePreset& preset;
        std::optional<DestinationConfig> destinationAfter;
    };
    const DestinationConfig folder = DestinationConfig::physicalFolder("/srv/probed");
    const Case cases[] = {
        {plain, folder},
        {onFat, DestinationConfig::presetFilesystem(FilesystemPreset::fat, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset.name);
        model().applyPreset(c.preset.id);
        modify();
        model().setDestinationConfig(folder);
        ASSERT_FALSE(m_bar.resetButton()->isHidden());
        saves = 0;
        m_bar.resetButton()->click();
        EXPECT_EQ(model().activeSettings(), c.preset.settings);
        EXPECT_EQ(model().activePresetName(), std::optional<std::string>(c.preset.name));
        EXPECT_EQ(model().destinationConfig(), c.destinationAfter);
        EXPECT_TRUE(m_bar.resetButton()->isHidden());
    }
}

TEST_F(PresetBarTest, DoneAndEscapeCloseThePanel)
{
    model().setShowAdvancedSettings(true);
    m_bar.doneButton()->click();
    EXPECT_FALSE(model().showAdvancedSettings());
    model().setShowAdvancedSettings(true);
    m_bar.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_bar));
    m_bar.saveAsButton()->setFocus();
    EXPECT_EQ(m_bar.doneButton()->shortcut(), QKeySequence(Qt::Key_Escape));
    QTest::keyClick(m_bar.saveAsButton(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !model().showAdvancedSettings(); }));  // the button's click is animated
}

TEST_F(PresetBarTest, TheSaveAsSheetRefusesNamesWithTheReason)
{
    store({customPreset("Caf\xC3\xA9", std::nullopt)});
    SavePresetSheet& sheet = *m_bar.saveAsSheet();
    m_bar.saveAsButton()->click();
    ASSERT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet.nameEdit()->placeholderText(), QStringLiteral("Preset name"));
    struct Case {
        const char* name;
        const char* reason;  // null: accepted
    };
    const Case cases[] = {
        {"", nullptr},
        {"   ", "A preset needs a name."},
        {"Cross Platform File Server", "\"Cross Platform File Server\" is the name of a built-in preset."},
        {"Cafe\xCC\x81", "A preset named \"Cafe\xCC\x81\" already exists."},
        {"<b>x</b>", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sheet.nameEdit()->setText(QString::fromUtf8(c.name));
        const bool accepted = c.reason == nullptr && *c.name != '\0';
        EXPECT_EQ(sheet.saveButton()->isEnabled(), accepted);
        EXPECT_EQ(sheet.reasonLabel()->isHidden(), c.reason == nullptr);
        EXPECT_EQ(sheet.reasonLabel()->text(), c.reason ? QString::fromUtf8(c.reason) : QString());
        EXPECT_EQ(sheet.reasonLabel()->textFormat(), Qt::PlainText);
    }
    // Return does nothing for a refused name.
    sheet.nameEdit()->setText(QStringLiteral("   "));
    QTest::keyClick(sheet.nameEdit(), Qt::Key_Return);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(customPresets().size(), 1U);

    // Escape closes and keeps the text until "Save As..." opens it again.
    sheet.nameEdit()->setText(QStringLiteral("<b>x</b>"));
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.nameEdit()->text(), QStringLiteral("<b>x</b>"));
    EXPECT_EQ(customPresets().size(), 1U);
    m_bar.saveAsButton()->click();
    EXPECT_TRUE(sheet.nameEdit()->text().isEmpty());

    sheet.nameEdit()->setText(QStringLiteral("<b>x</b>"));
    QTest::keyClick(sheet.nameEdit(), Qt::Key_Return);
    EXPECT_FALSE(sheet.isVisible());
    ASSERT_EQ(customPresets().size(), 2U);
    EXPECT_EQ(customPresets().back().name, "<b>x</b>");
    EXPECT_EQ(model().activePresetName(), std::optional<std::string>("<b>x</b>"));
    EXPECT_FALSE(m_bar.saveButton()->isHidden());
}

TEST(PresetBarState, BuiltInNamesMatchExactly)
{
    EXPECT_TRUE(isBuiltInPresetName("Strict Shell Safe"));
    EXPECT_FALSE(isBuiltInPresetName("strict shell safe"));
    EXPECT_FALSE(isBuiltInPresetName("Strict Shell Safe "));
    EXPECT_EQ(presetBarState(std::nullopt, true), (PresetBarState {false, false, true, {}, {}}));
}

}  // namespace
}  // namespace tess
