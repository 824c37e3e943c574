#include "ui/help/HelpReference.h"
#include "rules/RuleTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tess {
namespace {

using HelpReference::CaseCell;

TEST(HelpReferenceTest, FilesystemTableFollowsTheRules)
{
    struct Row {
        const char* preset;
        CaseCell caseCell;
        const char* filename;
        const char* depth;
        const char* path;
        const char* illegal;
        const char* reserved;
    };
    const Row expected[] = {
        {"FAT", CaseCell::xmark, "255", "∞", "∞", "NUL /", ". .."},
        {"NTFS", CaseCell::toggle, "255", "∞", "32766", "NUL /", ". .."},
        {"UDF", CaseCell::toggle, "254", "∞", "32760", "NUL /", ". .."},
        {"SMB", CaseCell::toggle, "255", "∞", "∞", "NUL /", ". .."},
        {"HFS+", CaseCell::toggle, "255", "∞", "1023", "NUL / :", ". .."},
        {"APFS", CaseCell::toggle, "255", "∞", "1023", "NUL /", ". .."},
        {"Google Drive", CaseCell::xmark, "255", "20", "∞", "NUL", "none"},
        {"NFS", CaseCell::toggle, "255", "∞", "1023", "NUL /", ". .."},
        {"Dropbox", CaseCell::xmark, "255", "∞", "∞", "NUL", "none"},
        {"OneDrive", CaseCell::xmark, "400", "∞", "400", "NUL : \\ \" * < > ? | # %", "none"},
        {"SharePoint", CaseCell::xmark, "400", "∞", "400", "NUL : \\ \" * < > ? | # % { }", "none"},
        {"S3", CaseCell::checkmark, "1023", "∞", "1023", "NUL", "none"},
        {"ext4", CaseCell::checkmark, "255", "∞", "4095", "NUL /", ". .."},
    };
    const auto rows = HelpReference::filesystemRows();
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& want = expected[i];
        SCOPED_TRACE(want.preset);
        EXPECT_EQ(rows[i].preset, want.preset);
        EXPECT_EQ(rows[i].caseCell, want.caseCell);
        EXPECT_EQ(rows[i].encoding, "UTF-8 Full");
        EXPECT_EQ(rows[i].filename, want.filename);
        EXPECT_EQ(rows[i].depth, want.depth);
        EXPECT_EQ(rows[i].pathLength, want.path);
        EXPECT_EQ(rows[i].illegalCharacters, want.illegal);
        EXPECT_EQ(rows[i].reserved, want.reserved);
    }
}

TEST(HelpReferenceTest, ClientSystemTableFollowsTheRules)
{
    const auto rows = HelpReference::osRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "Windows");
    EXPECT_EQ(rows[1].name, "macOS");
    EXPECT_EQ(rows[2].name, "Linux");
    EXPECT_EQ(rows[0].caseCell, CaseCell::xmark);
    EXPECT_EQ(rows[1].caseCell, CaseCell::dash);
    EXPECT_EQ(rows[2].caseCell, CaseCell::dash);
    const char* paths[] = {"259*", "1023", "4095"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(rows[i].maxFilename, "—");
        EXPECT_EQ(rows[i].maxPathLength, paths[i]);
    }
    EXPECT_EQ(rows[0].illegalCharacters, "NUL / : \\ \" * < > ? |");
    EXPECT_EQ(rows[1].illegalCharacters, "NUL /");
    EXPECT_EQ(rows[0].reserved,
        "AUX CLOCK$ COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 CON LPT1 LPT2 LPT3 LPT4 LPT5 LPT6 LPT7 LPT8 LPT9 NUL "
        "PRN");
    EXPECT_EQ(rows[2].reserved, ". ..");
}

TEST(HelpReferenceTest, CellFormats)
{
    struct Case {
        CodePointSet set;
        const char* text;
    };
    CodePointSet controls;
    for (char32_t c = 0; c < 0x20; ++c) {
        controls.insert(c);
    }
    CodePointSet slashColon = controls;
    slashColon.insert({U':', U'/'});
    const Case cases[] = {
        {{U'\0'}, "NUL"},
        {{}, "none"},
        {{U'$', U' '}, "none"},
        {{U'$', U'\0'}, "NUL"},
        {slashColon, "NUL / :"},
        {{U'}', U'#', U'a'}, "# }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(HelpReference::formatIllegalCharacters(c.set), c.text);
    }
    EXPECT_EQ(HelpReference::formatPathLimit(std::nullopt), "—");
    EXPECT_EQ(HelpReference::formatPathLimit(OSPathLimit::hardLimit(4095)), "4095");
    EXPECT_EQ(HelpReference::formatPathLimit(OSPathLimit::overridableDefault(259, 32767)), "259*");
    EXPECT_EQ(HelpReference::formatLimit(kNoLimit), "∞");
    EXPECT_EQ(HelpReference::formatLimit(32766), "32766");
    EXPECT_EQ(HelpReference::formatReservedNames({}), "none");
}

}  // namespace
}  // namespace tess
