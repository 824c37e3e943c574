#include "index/IssueTypesText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tess {
namespace {

TEST(IssueEntryParseTest, SplitsKeyAndDetail)
{
    struct Case {
        std::string entry;
        std::string key;
        std::optional<std::string> detail;
    };
    const std::vector<Case> cases = {
        {"filenameTooLong", "filenameTooLong", std::nullopt},
        {"pathTooLong(300/255)", "pathTooLong", "300/255"},
        {"filenameUnresolvable(a (b) c)", "filenameUnresolvable", "a (b) c"},
        {"a(b", "a(b", std::nullopt},
        {")x(", ")x(", std::nullopt},
        {"k()", "k", ""},
        {"(x)", "", "x"},
        {"key(one)tail", "key", "one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const IssueTypesText::ParsedEntry parsed = IssueTypesText::parseIssueEntry(c.entry);
        EXPECT_EQ(parsed.key, c.key);
        EXPECT_EQ(parsed.detail.has_value(), c.detail.has_value());
        if (parsed.detail && c.detail) {
            EXPECT_EQ(*parsed.detail, *c.detail);
        }
    }
}

TEST(IssueEntryParseTest, SplitsStoredTextAtCommasWithoutEmptyPieces)
{
    struct Case {
        std::string text;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {",,", {}},
        {"a,,b", {"a", "b"}},
        {",a,", {"a"}},
        {" a ,b", {" a ", "b"}},
        {"pathTooLong(300/255),characterTransformed(:)", {"pathTooLong", "characterTransformed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> keys;
        IssueTypesText::forEachEntry(c.text, [&](const IssueTypesText::ParsedEntry& entry) { keys.emplace_back(entry.key); });
        EXPECT_EQ(keys, c.keys);
    }
}

TEST(IssueEntryParseTest, ReadsBackWhatEntryWrites)
{
    const std::vector<FileTransformationIssue> issues = {FileTransformationIssue::PathTooLong {300, 255},
        FileTransformationIssue::FilenameUnresolvable {"no room (even shortened)"}};
    const std::optional<std::string> text = IssueTypesText::join(issues);
    ASSERT_TRUE(text.has_value());
    std::vector<std::string> keys;
    IssueTypesText::forEachEntry(*text, [&](const IssueTypesText::ParsedEntry& entry) { keys.emplace_back(entry.key); });
    EXPECT_EQ(keys, (std::vector<std::string> {"pathTooLong", "filenameUnresolvable"}));
}

}  // namespace
}  // namespace tess
