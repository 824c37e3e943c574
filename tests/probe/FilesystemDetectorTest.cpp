#include "FakeProbeFileSystem.h"
#include "ProbeTestSupport.h"

#include "probe/FilesystemDetector.h"
#include "probe/FilesystemDetectorError.h"
#include "rules/ControlCharacters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

using test::FakeProbeFileSystem;
using test::LogCapture;

const std::string kRoot = "/fake/dest";  // never exists on disk: its type is unknown
const std::string kFolder = kRoot + "/p";
const std::string kStem = "FileTransform_Test_Data_";

// "FileTransform_Test_Data_" and eight upper-case hexadecimal digits.
bool isProbeFolderName(std::string_view name)
{
    return name.size() == kStem.size() + 8 && name.starts_with(kStem)
        && std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kStem.size()), name.end(),
            [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

std::string lastComponent(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

// "a...a.txt"
bool isNameLengthFile(const std::string& name)
{
    return name.ends_with(".txt") && std::all_of(name.begin(), name.end() - 4, [](char c) { return c == 'a'; });
}

class FilesystemDetectorFakeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_fs->createDirectory(kFolder).ok()); }

    // Lengths of the names "a...a.txt" that were tried, in order.
    std::vector<std::int64_t> triedNameLengths() const
    {
        std::vector<std::int64_t> lengths;
        for (const auto& op : m_fs->operations()) {
            if (op.kind == "write" && isNameLengthFile(lastComponent(op.path))) {
                lengths.push_back(static_cast<std::int64_t>(lastComponent(op.path).size()));
            }
        }
        return lengths;
    }

    std::shared_ptr<FakeProbeFileSystem> m_fs = std::make_shared<FakeProbeFileSystem>(kRoot);
    FilesystemDetector m_detector {FileTransformationConfig {}, m_fs};
};

TEST_F(FilesystemDetectorFakeTest, NameBisectionTriesTheDocumentedLengths)
{
    m_fs->maxNameBytes = 255;
    EXPECT_EQ(m_detector.probeMaxFilenameLength(kFolder), 255);
    EXPECT_EQ(triedNameLengths(), (std::vector<std::int64_t> {256, 4, 130, 193, 224, 240, 248, 252, 254, 255}));
    EXPECT_EQ(m_fs->allPaths(), (std::vector<std::string> {kRoot, kFolder}));
}

TEST_F(FilesystemDetectorFakeTest, NameLimits)
{
    struct Case {
        std::int64_t limit;
        std::optional<std::int64_t> reported;
    };
    const Case cases[] = {{1000, std::nullopt}, {256, std::nullopt}, {254, 254}, {143, 143}, {5, 5}, {4, 4}, {3, 0}};
    for (const Case& c : cases) {
        m_fs->maxNameBytes = c.limit;
        LogCapture log;
        EXPECT_EQ(m_detector.probeMaxFilenameLength(kFolder), c.reported) << c.limit;
        EXPECT_EQ(log.count("WARN", "] ⚠️ FilesystemDetector: cannot create even a 4-byte filename"), c.limit < 4 ? 1 : 0);
        EXPECT_EQ(log.count("FilesystemDetector: created 256-byte filename; no filename length limit detected"), c.limit >= 256 ? 1 : 0);
    }
}

TEST_F(FilesystemDetectorFakeTest, DepthProbe)
{
    const std::int64_t folderComponents = 3;  // fake, dest, p
    struct Case {
        std::int64_t nestedAllowed;
        std::int64_t reported;
    };
    const Case cases[] = {{0, 1}, {4, 5}, {30, 31}, {31, kNoLimit}, {100, kNoLimit}};
    for (const Case& c : cases) {
        m_fs->maxComponents = folderComponents + c.nestedAllowed;
        m_fs->clearOperations();
        EXPECT_EQ(m_detector.probeMaxPathDepth(kFolder), c.reported) << c.nestedAllowed;
        const auto created = std::count_if(m_fs->operations().begin(), m_fs->operations().end(),
            [](const auto& op) { return op.kind == "mkdir" && op.succeeded; });
        EXPECT_EQ(created, std::min<std::int64_t>(c.nestedAllowed, 31));
        EXPECT_EQ(m_fs->allPaths(), (std::vector<std::string> {kRoot, kFolder}));
    }
}

// Every length is really tried, also those 102, 203, ... bytes beyond the
// folder, so the bisection finds the exact limit.
TEST_F(FilesystemDetectorFakeTest, PathLengthFindsTheExactLimit)
{
    const std::int64_t base = static_cast<std::int64_t>(kFolder.size());
    for (std::int64_t limit : {base + 2, base + 101, base + 102, base + 103, base + 203, base + 204, std::int64_t {700}, std::int64_t {1024}}) {
        m_fs->maxPathBytes = limit;
        EXPECT_EQ(m_detector.probeMaxPathLength(kFolder), limit) << limit;
        EXPECT_EQ(m_fs->allPaths(), (std::vector<std::string> {kRoot, kFolder}));
    }
    m_fs->maxPathBytes = 1025;
    LogCapture log;
    EXPECT_EQ(m_detector.probeMaxPathLength(kFolder), std::nullopt);
    EXPECT_TRUE(log.contains("[DEBUG] [FilesystemDetector.cpp:"));
    EXPECT_EQ(log.count("] FilesystemDetector: created 1025-byte path; no path length limit detected"), 1);
}

TEST_F(FilesystemDetectorFakeTest, PathOfOneByteRemainderIsWrittenUnderAShorterFolder)
{
    const std::int64_t target = static_cast<std::int64_t>(kFolder.size()) + 102;
    m_fs->clearOperations();
    EXPECT_TRUE(m_detector.canCreatePath(target, kFolder));
    const std::string folder = kFolder + "/" + std::string(99, 'a');
    const std::string file = folder + "/a";
    const auto& ops = m_fs->operations();
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[0].path, folder);
    EXPECT_EQ(ops[1].path, file);
    EXPECT_EQ(static_cast<std::int64_t>(file.size()), target);
    EXPECT_EQ(ops[1].kind, "write");
    EXPECT_TRUE(ops[1].succeeded);

    // Below two bytes beyond the folder nothing is created.
    m_fs->clearOperations();
    EXPECT_TRUE(m_detector.canCreatePath(static_cast<std::int64_t>(kFolder.size()), kFolder));
    EXPECT_FALSE(m_detector.canCreatePath(static_cast<std::int64_t>(kFolder.size()) + 1, kFolder));
    EXPECT_TRUE(m_fs->operations().empty());
}

TEST_F(FilesystemDetectorFakeTest, LongFolderIsReportedWithoutCreatingAnything)
{
    const std::string longFolder = "/" + std::string(1023, 'd');
    LogCapture log;
    m_fs->clearOperations();
    EXPECT_EQ(m_detector.probeMaxPathLength(longFolder), 1024);
    EXPECT_TRUE(m_fs->operations().empty());
    EXPECT_EQ(log.count("WARN", "] ⚠️ FilesystemDetector: destination at 1024 bytes already exceeds probe target 1025"), 1);

    m_fs->maxPathBytes = static_cast<std::int64_t>(kFolder.size()) + 1;
    EXPECT_EQ(m_detector.probeMaxPathLength(kFolder), static_cast<std::int64_t>(kFolder.size()));
    EXPECT_EQ(log.count("WARN", "] ⚠️ FilesystemDetector: cannot create even minimal " + std::to_string(kFolder.size() + 2) + "-byte path"), 1);
}

TEST_F(FilesystemDetectorFakeTest, UnicodeSupport)
{
    struct Case {
        std::vector<std::string> refused;
        bool decomposed;
        TargetEncoding expected;
    };
    const Case cases[] = {
        {{}, false, TargetEncoding::utf8Full},
        {{}, true, TargetEncoding::utf8Full},  // listed in NFD, still the same names
        {{"\U0001F680"}, false, TargetEncoding::utf8Basic},
        {{"\u4E2D"}, false, TargetEncoding::asciiOnly},  // full alone is not enough
        {{"\u0440"}, false, TargetEncoding::asciiOnly},
    };
    for (const Case& c : cases) {
        auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
        fs->refusedInNames = c.refused;
        fs->listsDecomposed = c.decomposed;
        FilesystemDetector detector(FileTransformationConfig {}, fs);
        auto detection = detector.detectCapabilities(kRoot);
        ASSERT_TRUE(detection.ok());
        EXPECT_EQ(detection->capabilities.encodingCapability, c.expected) << c.refused.size() << c.decomposed;
    }
}

TEST_F(FilesystemDetectorFakeTest, CaseSensitivityAndSummary)
{
    for (bool insensitive : {false, true}) {
        auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
        fs->caseInsensitive = insensitive;
        FilesystemDetector detector(FileTransformationConfig {}, fs);
        auto detection = detector.detectCapabilities(kRoot);
        ASSERT_TRUE(detection.ok());
        EXPECT_EQ(detection->capabilities.isCaseSensitive, !insensitive);
        EXPECT_EQ(detection->summary, insensitive ? "unknown (probed) \u2022 case-insensitive" : "unknown (probed) \u2022 case-sensitive");
        EXPECT_EQ(fs->allPaths(), std::vector<std::string> {kRoot});
    }
    EXPECT_EQ(FilesystemDetector::summaryText(FilesystemType::apfs, false), "apfs (probed) \u2022 case-insensitive");
}

TEST_F(FilesystemDetectorFakeTest, IllegalCharactersAreTheRefusedOnesAndTheControlSet)
{
    m_fs->refusedInNames = {"<", ":", "\\"};
    LogCapture log;
    auto caps = m_detector.probeCapabilities(kRoot);
    ASSERT_TRUE(caps.ok());
    CodePointSet expected = ControlCharacters::set();
    expected.insert({U'<', U':', U'\\', U'/'});
    EXPECT_EQ(caps->illegalCharacters, expected);
    EXPECT_TRUE(caps->illegalCharacters.contains(U'\u200B'));
    for (const char* c : {"<", ":", "\\", "/"}) {
        EXPECT_EQ(log.count("] FilesystemDetector: character '" + std::string(c) + "' failed test, added to illegal set"), 1) << c;
    }
    EXPECT_EQ(log.count("failed test, added to illegal set"), 4);
}

// A volume that takes folders but no file at all.
TEST_F(FilesystemDetectorFakeTest, VolumeThatAcceptsNoFile)
{
    m_fs->refuseAllFiles = true;
    LogCapture log;
    auto detection = m_detector.detectCapabilities(kRoot);
    ASSERT_TRUE(detection.ok());
    const FilesystemCapabilities& caps = detection->capabilities;
    EXPECT_EQ(caps.maxFilenameLength, 0);
    EXPECT_FALSE(caps.isCaseSensitive);
    EXPECT_EQ(caps.encodingCapability, TargetEncoding::asciiOnly);
    for (const std::string& candidate : FilesystemDetector::illegalCharacterCandidates()) {
        EXPECT_TRUE(caps.illegalCharacters.contains(static_cast<char32_t>(candidate[0]))) << candidate;
    }
    EXPECT_EQ(log.count("failed test, added to illegal set"), 9);
    EXPECT_EQ(log.count("⚠️ FilesystemDetector: cannot create even a 4-byte filename"), 1);
    EXPECT_EQ(log.count("⚠️ FilesystemDetector: cannot create even minimal "), 1);
    EXPECT_EQ(m_fs->allPaths(), (std::vector<std::string> {kRoot, kFolder}));
}

TEST_F(FilesystemDetectorFakeTest, FullRunLogsEveryStepAndLeavesNothing)
{
    auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
    FilesystemDetector detector(FileTransformationConfig {}, fs);
    LogCapture log;
    auto detection = detector.detectCapabilities(kRoot + "/");
    ASSERT_TRUE(detection.ok());

    const FilesystemCapabilities& caps = detection->capabilities;
    EXPECT_TRUE(caps.isCaseSensitive);
    EXPECT_EQ(caps.maxFilenameLength, kNoLimit);
    EXPECT_EQ(caps.maxPathDepth, kNoLimit);
    EXPECT_EQ(caps.maxPathLength, kNoLimit);
    EXPECT_EQ(caps.reservedNames, (CanonicalStringSet {".", ".."}));
    EXPECT_FALSE(caps.supportsPosixPermissions);
    EXPECT_FALSE(caps.supportsExtendedAttributes);
    EXPECT_FALSE(caps.supportsACLs);

    const std::vector<std::string> expectedLines = {
        "FilesystemDetector: detected filesystem type: unknown \u2014 running full probe",
        "FilesystemDetector: case sensitive: true",
        "FilesystemDetector: unicode support \u2014 basic: true, full: true",
        "FilesystemDetector: created 256-byte filename; no filename length limit detected",
        "FilesystemDetector: max filename length: no limit detected",
        "FilesystemDetector: max path depth: 9223372036854775807",
        "FilesystemDetector: created 1025-byte path; no path length limit detected",
        "FilesystemDetector: max path length: no limit detected",
        "FilesystemDetector: character '/' failed test, added to illegal set",
    };
    const std::string text = log.text();
    std::size_t at = 0;
    for (const std::string& line : expectedLines) {
        std::size_t found = text.find("] " + line + "\n", at);
        ASSERT_NE(found, std::string::npos) << line << "\n"
                                            << text;
        at = found;
    }
    EXPECT_EQ(log.count("[DEBUG]"), static_cast<int>(expectedLines.size()));

    // The write check and the probe use two distinct folders of the
    // documented form; both are gone.
    std::vector<std::string> folders;
    for (const auto& op : fs->operations()) {
        if (op.kind == "mkdir" && op.path.starts_with(kRoot + "/") && isProbeFolderName(op.path.substr(kRoot.size() + 1))) {
            folders.push_back(op.path);
        }
    }
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_NE(folders[0], folders[1]);
    EXPECT_EQ(fs->allPaths(), std::vector<std::string> {kRoot});
    for (const auto& op : fs->operations()) {
        if (op.kind == "write") {
            EXPECT_TRUE(op.path.starts_with(folders[1] + "/")) << op.path;
        }
    }
}

TEST_F(FilesystemDetectorFakeTest, WriteCheckFailures)
{
    {
        auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
        fs->failCreateDirectory = [](const std::string&) { return true; };
        auto detection = FilesystemDetector(FileTransformationConfig {}, fs).detectCapabilities(kRoot);
        ASSERT_FALSE(detection.ok());
        EXPECT_EQ(FilesystemDetectorError::kindOf(detection.error()), FilesystemDetectorError::Kind::writeAccessFailed);
        const std::string prefix = "Cannot probe destination \u2014 write access failed: Cannot create folder /fake/dest/";
        const std::string& message = detection.error().message;
        ASSERT_TRUE(message.starts_with(prefix)) << message;
        EXPECT_TRUE(isProbeFolderName(message.substr(prefix.size(), kStem.size() + 8))) << message;
        EXPECT_EQ(message.substr(prefix.size() + kStem.size() + 8), ": Permission denied");
        EXPECT_EQ(fs->operations().size(), 1u);  // no probe folder was tried
    }
    {
        auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
        fs->failList = [](const std::string& path) { return path == kRoot; };
        auto detection = FilesystemDetector(FileTransformationConfig {}, fs).detectCapabilities(kRoot);
        ASSERT_FALSE(detection.ok());
        EXPECT_EQ(detection.error().message,
            "Cannot probe destination \u2014 write access failed: Cannot list folder /fake/dest: Input/output error");
        EXPECT_EQ(fs->allPaths(), std::vector<std::string> {kRoot});
    }
}

// An empty or relative path would probe another folder (the root, the
// working folder), and a NUL byte would cut the path short: all are refused
// before anything is touched.
TEST_F(FilesystemDetectorFakeTest, FolderPathsThatAreNotAbsoluteAreRefused)
{
    const std::string cases[] = {"", "relative/dest", "fake/dest", std::string("/fake/dest\0/x", 13)};
    for (const std::string& folder : cases) {
        auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
        auto detection = FilesystemDetector(FileTransformationConfig {}, fs).detectCapabilities(folder);
        ASSERT_FALSE(detection.ok()) << folder;
        EXPECT_EQ(detection.error().message, "Cannot probe destination \u2014 write access failed: not an absolute folder path");
        EXPECT_TRUE(fs->operations().empty()) << folder;
    }
}

TEST_F(FilesystemDetectorFakeTest, ProbeFolderThatCannotBeCreated)
{
    auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
    int calls = 0;
    fs->failCreateDirectory = [&](const std::string&) { return ++calls > 1; };
    LogCapture log;
    auto detection = FilesystemDetector(FileTransformationConfig {}, fs).detectCapabilities(kRoot);
    ASSERT_FALSE(detection.ok());
    EXPECT_EQ(FilesystemDetectorError::kindOf(detection.error()), FilesystemDetectorError::Kind::probeDirectorySetupFailed);
    EXPECT_TRUE(detection.error().message.starts_with("Cannot probe destination \u2014 failed to create probe directory: Cannot create folder /fake/dest/FileTransform_Test_Data_"));
    EXPECT_EQ(log.count("WARN", "] ⚠️ FilesystemDetector: failed to create test directory: Cannot create folder"), 1);
    EXPECT_EQ(fs->allPaths(), std::vector<std::string> {kRoot});
}

// What cannot be removed stays, and the log says so.
TEST_F(FilesystemDetectorFakeTest, FailedRemovalsAreLogged)
{
    auto fs = std::make_shared<FakeProbeFileSystem>(kRoot);
    fs->failRemove = [](const std::string& path) { return path.substr(path.rfind('/') + 1).starts_with("FileTransform_Test_Data_"); };
    LogCapture log;
    ASSERT_TRUE(FilesystemDetector(FileTransformationConfig {}, fs).detectCapabilities(kRoot).ok());
    const std::vector<std::string> left = fs->allPaths();
    ASSERT_EQ(left.size(), 3u);  // the root, the write-check and the probe folder, empty
    EXPECT_EQ(log.count("WARN", "] ⚠️ FilesystemDetector: failed to remove " + left[1] + ": Cannot remove " + left[1] + ": Device or resource busy"), 1);
    EXPECT_EQ(log.count("WARN", "] ⚠️ FilesystemDetector: failed to remove " + left[2] + ": "), 1);
}

}  // namespace
}  // namespace tess
