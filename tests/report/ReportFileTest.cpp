#include "TempDir.h"

#include "report/ReportService.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tess {
namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& path)
{
    struct stat info { };
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(ReportFile, ReplacesTheFileKeepingItsModeAndLeavesNoTemporaryFile)
{
    test::TempDir dir;
    dir.writeFile("report.csv", "old and longer content");
    ASSERT_EQ(chmod((dir / "report.csv").c_str(), 0640), 0);

    ASSERT_TRUE(ReportService::writeReportFile(dir / "report.csv", "new"));

    EXPECT_EQ(dir.readFile("report.csv"), "new");
    EXPECT_EQ(modeOf(dir / "report.csv"), 0640u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string> {"report.csv"});
}

TEST(ReportFile, NewFileGetsTheUsualModeAndALinkIsKept)
{
    test::TempDir dir;
    const mode_t previous = umask(022);
    ASSERT_TRUE(ReportService::writeReportFile(dir / "new.json", "{}"));
    umask(previous);
    EXPECT_EQ(modeOf(dir / "new.json"), 0644u);

    dir.writeFile("target.json", "old");
    ASSERT_EQ(symlink("target.json", (dir / "link.json").c_str()), 0);
    ASSERT_TRUE(ReportService::writeReportFile(dir / "link.json", "through the link"));
    struct stat info { };
    ASSERT_EQ(lstat((dir / "link.json").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(dir.readFile("target.json"), "through the link");
}

TEST(ReportFile, FailuresAreReportedAndLeaveNothingBehind)
{
    test::TempDir dir;
    dir.makeDir("taken.csv");
    dir.writeFile("plain-file", "x");

    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"target is a folder", dir / "taken.csv"},
        {"folder is missing", dir / "missing/report.csv"},
        {"folder is a file", dir / "plain-file/report.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Status written = ReportService::writeReportFile(c.path, "text");
        ASSERT_FALSE(written);
        EXPECT_FALSE(written.error().message.empty());
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string> {"plain-file", "taken.csv"}));
    EXPECT_TRUE(namesIn(dir / "taken.csv").empty());
}

}  // namespace
}  // namespace tess
