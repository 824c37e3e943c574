#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::ElementsAre;
using Op = FaultyFileSystem::Op;

class MergeTest : public RenamerTest {
public:
    using RenamerTest::write;

protected:
    bool merge(FileSystemOps& fs = FileSystemOps::posix(), const SourceFileRenamer::PrivilegedRename& privileged = {})
    {
        return SourceFileRenamer::moveRemainingContents(at("src"), at("dst"), fs, privileged);
    }
};

TEST_F(MergeTest, MetadataFiles)
{
    write("src/.DS_Store", "source copy");
    write("dst/.DS_Store", "target copy");
    EXPECT_TRUE(merge());
    EXPECT_FALSE(exists("src/.DS_Store"));
    EXPECT_EQ(read("dst/.DS_Store"), "target copy");

    write("src/.DS_Store", "source copy");
    ::unlink(at("dst/.DS_Store").c_str());
    LogCapture::clear();
    EXPECT_TRUE(merge());
    EXPECT_EQ(read("dst/.DS_Store"), "source copy");
    EXPECT_GE(LogCapture::find("moveRemainingContents: moved .DS_Store to target directory"), 0);
    EXPECT_EQ(LogCapture::lines()[0].level, "INFO");
}

TEST_F(MergeTest, FoldersOnBothSidesAreMergedRecursively)
{
    write("src/sub/inner/a", "a");
    write("dst/sub/b", "b");
    write("dst/sub/inner/c", "c");
    EXPECT_TRUE(merge());
    EXPECT_EQ(read("dst/sub/inner/a"), "a");
    EXPECT_FALSE(exists("src/sub"));
    EXPECT_TRUE(exists("src"));
}

TEST_F(MergeTest, ConflictsStopTheMerge)
{
    struct Case {
        bool sourceIsFolder;
        bool targetIsFolder;
    };
    for (const Case& c : {Case {false, false}, Case {true, false}, Case {false, true}}) {
        TempDir scratch;
        scratch.writeFile("src/a", "moved first");
        c.sourceIsFolder ? scratch.makeDir("src/x") : scratch.writeFile("src/x", "s");
        c.targetIsFolder ? scratch.makeDir("dst/x") : scratch.writeFile("dst/x", "t");
        LogCapture::clear();
        EXPECT_FALSE(SourceFileRenamer::moveRemainingContents(scratch / "src", scratch / "dst"));
        EXPECT_TRUE(scratch.exists("dst/a"));  // entries before the conflict stay moved
        EXPECT_TRUE(scratch.exists("src/x"));
        EXPECT_GE(LogCapture::find("❌ moveRemainingContents: conflict — x exists in both source and target"), 0);
    }
}

TEST_F(MergeTest, UnreadableAndEmptySources)
{
    makeDir("src");
    makeDir("dst");
    EXPECT_TRUE(merge());
    FaultyFileSystem fs;
    fs.fail(Op::list, "/src", EACCES);
    LogCapture::clear();
    EXPECT_FALSE(merge(fs));
    EXPECT_TRUE(LogCapture::lines().empty());
}

TEST_F(MergeTest, MoveFailuresAndThePrivilegedFallback)
{
    write("src/a", "a");
    makeDir("dst");
    FaultyFileSystem fs;
    fs.fail(Op::rename, "/src/a", EXDEV);
    int asked = 0;
    auto privileged = [&](const std::string& from, const std::string& to) {
        ++asked;
        return SourceFileRenamer::PrivilegedReply {::rename(from.c_str(), to.c_str()) == 0, "refused"};
    };
    EXPECT_FALSE(merge(fs, privileged));
    EXPECT_EQ(asked, 0);
    EXPECT_GE(LogCapture::find("❌ moveRemainingContents: failed to move a: Invalid cross-device link"), 0);

    FaultyFileSystem denied;
    denied.fail(Op::rename, "/src/a", EACCES);
    EXPECT_TRUE(merge(denied, privileged));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(read("dst/a"), "a");

    write("src/b", "b");
    denied.fail(Op::rename, "/src/b", EACCES);
    auto refusing = [](const std::string&, const std::string&) { return SourceFileRenamer::PrivilegedReply {false, "no"}; };
    EXPECT_FALSE(merge(denied, refusing));
    EXPECT_GE(LogCapture::find("❌ moveRemainingContents: privileged move failed for b: no"), 0);
}

TEST(PermissionErrorTest, OnlyAccessAndPermissionErrors)
{
    EXPECT_TRUE(SourceFileRenamer::isPermissionError(SourceFileRenamer::posixError(EACCES)));
    EXPECT_TRUE(SourceFileRenamer::isPermissionError(SourceFileRenamer::posixError(EPERM)));
    for (int error : {ENOENT, ENOSPC, EXDEV, EROFS, EEXIST})
        EXPECT_FALSE(SourceFileRenamer::isPermissionError(SourceFileRenamer::posixError(error))) << error;
    EXPECT_FALSE(SourceFileRenamer::isPermissionError(Error {kAppErrorDomain, EACCES, "x"}));
}

class SubdirectoryTest : public RenamerTest { };

TEST_F(SubdirectoryTest, PreOrderWithoutLinks)
{
    makeDir("b/y");
    makeDir("a/x");
    makeDir(".hidden");
    write("a/file");
    ASSERT_EQ(::symlink(at("a").c_str(), at("c").c_str()), 0);
    std::vector<std::string> found;
    SourceFileRenamer::collectSubdirectories(root(), found);
    EXPECT_THAT(found, ElementsAre(at(".hidden"), at("a"), at("a/x"), at("b"), at("b/y")));
}

}  // namespace
}  // namespace tess::test

namespace tess::test {
namespace {

// Keeps every announcement, as a journal would; refuses from the
// `refuseFrom`-th on (-1: never).
class ListRecorder : public BatchRecorder {
public:
    struct Entry {
        Step step;
        std::string from;
        std::string to;
        bool withdrawn = false;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    Status willDo(Step step, const std::string& from, const std::string& to) override
    {
        if (refuseFrom >= 0 && static_cast<int>(entries.size()) >= refuseFrom)
            return Error {kAppErrorDomain, ENOSPC, "No space left on device"};
        entries.push_back({step, from, to});
        return {};
    }
    Status didFail(Step step, const std::string& from, const std::string& to, const std::string&) override
    {
        entries.push_back({step, from, to, true});
        return {};
    }
    void checkpoint() override { }

    int refuseFrom = -1;
    std::vector<Entry> entries;
};

using Step = BatchRecorder::Step;
using Stop = SourceFileRenamer::MergeOutcome::Stop;
using Merged = SourceFileRenamer::MergedItem;

TEST_F(MergeTest, EveryMoveAndEveryEmptiedSubfolderIsAnnouncedBeforeItIsMade)
{
    write("src/a", "a");
    write("src/sub/b", "b");
    write("dst/sub/c", "c");
    ListRecorder recorder;
    const auto outcome = SourceFileRenamer::mergeFolder(at("src"), at("dst"), root(), FileSystemOps::posix(), {}, &recorder);
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.changes, (std::vector<Merged> {{"src/a", "dst/a"}, {"src/sub/b", "dst/sub/b"}, {"src/sub", ""}}));
    EXPECT_EQ(recorder.entries, (std::vector<ListRecorder::Entry> {{Step::mergeMove, "src/a", "dst/a"}, {Step::mergeMove, "src/sub/b", "dst/sub/b"}, {Step::mergeRemoveFolder, "src/sub", ""}}));
    EXPECT_EQ(read("dst/sub/b"), "b");
    EXPECT_FALSE(exists("src/sub"));
}

TEST_F(MergeTest, AStoppedMergeSaysWhyAndKeepsWhatItMovedBefore)
{
    struct Case {
        const char* name;
        std::function<void(MergeTest&, FaultyFileSystem&, ListRecorder&)> setUp;
        Stop stop;
        const char* stoppedAt;
        int error;
        std::vector<ListRecorder::Entry> recorded;
    };
    const std::vector<Case> cases {
        {"a real conflict", [](MergeTest& t, FaultyFileSystem&, ListRecorder&) { t.write("dst/b", "theirs"); }, Stop::conflict, "b", 0,
            {{Step::mergeMove, "src/a", "dst/a"}}},
        {"a move the folder refuses (immutable)", [](MergeTest&, FaultyFileSystem& fs, ListRecorder&) { fs.fail(Op::rename, "/src/b", EPERM); },
            Stop::moveFailed, "b", EPERM,
            {{Step::mergeMove, "src/a", "dst/a"}, {Step::mergeMove, "src/b", "dst/b"}, {Step::mergeMove, "src/b", "dst/b", true}}},
        {"a folder that cannot be listed", [](MergeTest&, FaultyFileSystem& fs, ListRecorder&) { fs.fail(Op::list, "/src", EACCES); },
            Stop::unlisted, "src", EACCES, {}},
        {"a step that cannot be recorded", [](MergeTest&, FaultyFileSystem&, ListRecorder& recorder) { recorder.refuseFrom = 1; },
            Stop::notRecorded, "b", ENOSPC, {{Step::mergeMove, "src/a", "dst/a"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(at("src"));
        std::filesystem::remove_all(at("dst"));
        write("src/a", "a");
        write("src/b", "b");
        makeDir("dst");
        FaultyFileSystem fs;
        ListRecorder recorder;
        c.setUp(*this, fs, recorder);
        const auto outcome = SourceFileRenamer::mergeFolder(at("src"), at("dst"), root(), fs, {}, &recorder);
        EXPECT_EQ(outcome.stop, c.stop);
        EXPECT_EQ(outcome.name, c.stoppedAt);
        EXPECT_EQ(outcome.error.code, c.error);
        EXPECT_EQ(recorder.entries, c.recorded);
        const bool movedFirst = c.stop != Stop::unlisted;
        EXPECT_EQ(exists("dst/a"), movedFirst);
        const std::vector<Merged> expected = movedFirst ? std::vector<Merged> {{"src/a", "dst/a"}} : std::vector<Merged> {};
        EXPECT_EQ(outcome.changes, expected);
        EXPECT_EQ(read("src/b"), "b");
    }
}

}  // namespace
}  // namespace tess::test
