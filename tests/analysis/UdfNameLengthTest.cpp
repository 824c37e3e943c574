// The UDF preset holds a name to the bytes UDF stores it in (one per
// character when all are at most U+00FF, else two per UTF-16 unit) and to its
// UTF-8 bytes, which the Linux udf driver also limits: both at most 254.
// Other presets keep counting UTF-8 bytes.

#include "analysis/SourceFileAnalyzer.h"
#include "rules/FilesystemPreset.h"
#include "rules/TransformationSettings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tess {
namespace {

std::string repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

const std::string kLatinE = "\xC3\xA9";  // é, U+00E9
const std::string kCaron = "\xC4\x8D";  // č, U+010D
const std::string kGrin = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
const std::string kAcute = "q\xCC\x81";  // q + U+0301: one grapheme, no composed form

struct Case {
    const char* name;
    FilesystemPreset::Value preset;
    bool isDirectory;
    std::string input;
    std::int64_t reportedLength;  // 0: fits, no issue
    std::string proposed;
};

// A shell command's exit status.
int run(const std::string& command)
{
    return std::system(command.c_str());
}

std::vector<Case> cases()
{
    using P = FilesystemPreset;
    return {
        {"Latin-1 at 254 UTF-8 bytes", P::udf, false, repeat(kLatinE, 125) + ".txt", 0, repeat(kLatinE, 125) + ".txt"},
        {"Latin-1 stored in 254 but 504 UTF-8 bytes", P::udf, false, repeat(kLatinE, 250) + ".txt", 504,
            repeat(kLatinE, 125) + ".txt"},
        {"Latin-1 only at 255 stored", P::udf, false, repeat(kLatinE, 251) + ".txt", 506, repeat(kLatinE, 125) + ".txt"},
        {"e-acute x127 + x: 129 stored, 255 UTF-8 bytes", P::udf, false, repeat(kLatinE, 127) + "x", 255, repeat(kLatinE, 127)},
        {"e-acute x127 folder: 254 UTF-8 bytes fit", P::udf, true, repeat(kLatinE, 127), 0, repeat(kLatinE, 127)},
        {"one c-caron at 127 units", P::udf, false, kCaron + repeat("a", 122) + ".txt", 0, kCaron + repeat("a", 122) + ".txt"},
        {"one c-caron at 128 units", P::udf, false, kCaron + repeat("a", 123) + ".txt", 256, kCaron + repeat("a", 122) + ".txt"},
        {"c-caron cut away leaves a narrow name", P::udf, false, repeat("a", 200) + kCaron + ".txt", 410,
            repeat("a", 200) + ".txt"},
        {"astral characters count two units", P::udf, false, repeat(kGrin, 63) + "ab", 256, repeat(kGrin, 63) + "a"},
        {"astral characters at 127 units", P::udf, false, repeat(kGrin, 63) + "a", 0, repeat(kGrin, 63) + "a"},
        {"combining marks stay with their letter", P::udf, true, repeat(kAcute, 64), 256, repeat(kAcute, 63)},
        {"Latin-1 folder at 300", P::udf, true, repeat(kLatinE, 300), 600, repeat(kLatinE, 127)},
        {"CJK counts three UTF-8 bytes, two stored", P::udf, false, repeat("\xE6\x96\x87", 90) + ".txt", 274,
            repeat("\xE6\x96\x87", 83) + ".txt"},
        {"NTFS still counts UTF-8 bytes", P::ntfs, false, repeat(kLatinE, 130) + ".txt", 264, repeat(kLatinE, 125) + ".txt"},
    };
}

TEST(UdfNameLength, NamesAreMeasuredAsUdfStoresThem)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const TransformationSettings settings = TransformationSettings::make(FilesystemPreset(c.preset), false, {});
        const SourceFileAnalyzer analyzer(settings, 0);
        const auto output = analyzer.analyze({{"/src/" + c.input, c.isDirectory}}, "/src", "test", [] { return false; });
        ASSERT_EQ(output.results.size(), 1u);
        const FileTransformationResult& result = output.results[0];
        EXPECT_EQ(result.finalRelativePath, c.proposed);
        if (c.preset == FilesystemPreset::udf) {
            EXPECT_LE(analyzer.passes().nameLength(c.proposed), 254);
            EXPECT_LE(c.proposed.size(), 254u);
        }
        std::int64_t reported = 0;
        for (const FileTransformationIssue& issue : result.transformations) {
            if (const auto* tooLong = issue.getIf<FileTransformationIssue::FilenameTooLong>()) {
                reported = tooLong->currentLength;
                EXPECT_EQ(tooLong->maxLength, c.preset == FilesystemPreset::udf ? 254 : 255);
            }
            if (const auto* tooLong = issue.getIf<FileTransformationIssue::FolderNameTooLong>()) {
                reported = tooLong->currentLength;
            }
        }
        EXPECT_EQ(reported, c.reportedLength);
    }
}

// Every proposed UDF name of the table is created on a real UDF volume, when
// this machine can make and mount one.
TEST(UdfNameLength, ProposedNamesAreAcceptedByTheUdfDriver)
{
    if (::geteuid() != 0 || run("command -v mkudffs >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs root and mkudffs (udftools) to make and loop-mount a UDF image";
    }
    char folder[] = "/tmp/tessaline-udf-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string base = folder;
    const std::string image = base + "/udf.img";
    const std::string mountPoint = base + "/mnt";
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0755), 0);
    const bool made = run("truncate -s 16M '" + image + "' && mkudffs --media-type=hd '" + image + "' >/dev/null 2>&1") == 0;
    const bool mounted = made && run("mount -t udf -o loop '" + image + "' '" + mountPoint + "' >/dev/null 2>&1") == 0;
    if (!mounted) {
        EXPECT_EQ(run("rm -rf '" + base + "'"), 0);
        GTEST_SKIP() << "cannot loop-mount a UDF image here";
    }
    for (const Case& c : cases()) {
        if (c.preset != FilesystemPreset::udf) {
            continue;
        }
        SCOPED_TRACE(c.name);
        const std::string path = mountPoint + "/" + c.proposed;
        const int result = c.isDirectory ? ::mkdir(path.c_str(), 0755) : ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        EXPECT_GE(result, 0) << std::strerror(errno);
        if (!c.isDirectory && result >= 0) {
            ::close(result);
        }
    }
    EXPECT_EQ(run("umount '" + mountPoint + "' && rm -rf '" + base + "'"), 0);
}

}  // namespace
}  // namespace tess
