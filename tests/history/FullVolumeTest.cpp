// A batch on a real, full ext4 volume (loop-mounted; needs root, as CI has).

#include "HistoryTestSupport.h"
#include "TempDir.h"

#include "history/HistoryFile.h"
#include "history/HistoryJournal.h"
#include "history/TransformationHistory.h"
#include "rename/SourceFileRenamer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tess {
namespace {

using test::TempDir;

// A small ext4 image mounted on a folder, filled to the last block.
class FullExt4 {
public:
    explicit FullExt4(const TempDir& dir)
        : m_mount(dir / "mnt")
    {
        const std::string image = dir / "volume.img";
        const std::string make = "truncate -s 8M '" + image + "' && mkfs.ext4 -q -F '" + image + "' >/dev/null 2>&1";
        if (::geteuid() != 0 || ::mkdir(m_mount.c_str(), 0755) != 0 || std::system(make.c_str()) != 0) {
            m_why = "needs root and mkfs.ext4";
            return;
        }
        if (std::system(("mount -o loop '" + image + "' '" + m_mount + "' 2>/dev/null").c_str()) != 0) {
            m_why = "loop mounts of ext4 are not available here";
            return;
        }
        m_mounted = true;
    }
    ~FullExt4()
    {
        if (m_mounted) {
            ::umount2(m_mount.c_str(), MNT_DETACH);
        }
    }

    const std::string& skipReason() const { return m_why; }
    std::string operator/(const std::string& relative) const { return m_mount + "/" + relative; }

    // Writes until the volume refuses with ENOSPC.
    void fill() const
    {
        const int fd = ::open((m_mount + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        // Blocks held back for data not yet written out come free once it
        // is: write again after each sync until nothing more goes in.
        const std::string block(65536, 'x');
        for (bool wrote = true; wrote;) {
            wrote = false;
            for (const std::size_t size : {block.size(), std::size_t {4096}, std::size_t {1}}) {
                while (::write(fd, block.data(), size) > 0) {
                    wrote = true;
                }
                EXPECT_EQ(errno, ENOSPC);
            }
            ::fsync(fd);
        }
        for (int i = 0; ::mkdir((m_mount + "/d" + std::to_string(i)).c_str(), 0755) == 0; ++i) {
        }
        ::close(fd);
        ::sync();
    }

private:
    std::string m_mount;
    std::string m_why;
    bool m_mounted = false;
};

TEST(FullVolume, NoHistoryOnAFullVolumeMeansNoBatchAndAFailedStepLeavesNoRecord)
{
    TempDir dir;
    FullExt4 volume(dir);
    if (!volume.skipReason().empty()) {
        GTEST_SKIP() << volume.skipReason();
    }
    ASSERT_EQ(::mkdir((volume / "history").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((volume / "tree").c_str(), 0755), 0);
    ASSERT_EQ(::close(::open((volume / "tree/a").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)), 0);
    volume.fill();

    // The history folder is full: the journal cannot be created, so the
    // batch must not start, and the reason is the real one.
    HistoryEntry header;
    header.timestamp = std::chrono::system_clock::now();
    header.scanRoot = volume / "tree";
    const auto refused = HistoryJournal::begin(header, volume / "history");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message,
        "The batch's history could not be created in " + (volume / "history") + ": No space left on device");
    EXPECT_TRUE(TransformationHistory::listHistories(volume / "history").empty());

    // The history elsewhere, the tree full: a parent folder cannot be made,
    // and the journal keeps no record of a folder that was never made.
    auto journal = HistoryJournal::begin(header, dir / "history");
    ASSERT_TRUE(journal.ok()) << journal.error().message;
    const auto batch = SourceFileRenamer::renameFiles(
        {{"a", "new/a", false}}, volume / "tree", kAppErrorDomain, {}, {}, FileSystemOps::posix(), **journal);
    ASSERT_EQ(batch.failed.size(), 1u);
    EXPECT_EQ(batch.failed[0].error.message,
        "Cannot create parent folder new. Check folder permissions and available disk space, then retry. (No space "
        "left on device)");
    EXPECT_TRUE(batch.createdDirectories.empty());
    const std::string journalPath = (*journal)->path();
    journal = Error {};
    const auto loaded = HistoryFile::load(journalPath);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(TransformationHistory::doneCount(loaded->entry), 0);
    EXPECT_TRUE(TransformationHistory::undoPlan(loaded->entry).records.empty());
    struct stat st;
    EXPECT_EQ(::lstat((volume / "tree/a").c_str(), &st), 0);
}

// The journal's volume fills up while the batch runs: the batch stops at the
// step it cannot record, says why in one sentence, and its journal lists
// exactly what it did.
TEST(FullVolume, AJournalThatFillsUpStopsTheBatchAndSaysWhyOnce)
{
    TempDir dir;
    FullExt4 volume(dir);
    if (!volume.skipReason().empty()) {
        GTEST_SKIP() << volume.skipReason();
    }
    ASSERT_EQ(::mkdir((volume / "history").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir / "tree").c_str(), 0755), 0);
    std::vector<RenameInstruction> instructions;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "a long enough name of file number " + std::to_string(i);
        dir.writeFile("tree/" + name, "x");
        instructions.push_back({name, name + " renamed", false});
    }
    HistoryEntry header;
    header.timestamp = std::chrono::system_clock::now();
    header.scanRoot = dir / "tree";
    auto journal = HistoryJournal::begin(header, volume / "history");
    ASSERT_TRUE(journal.ok()) << journal.error().message;
    volume.fill();

    const auto batch = SourceFileRenamer::renameFiles(instructions, dir / "tree", kAppErrorDomain, {}, {}, FileSystemOps::posix(), **journal);
    ASSERT_FALSE(batch.failed.empty());
    ASSERT_FALSE(batch.renamed.empty());
    for (const auto& failure : batch.failed) {
        EXPECT_EQ(failure.error.message,
            "Not renamed: the batch's history could not be written (No space left on device). The batch stopped here, so "
            "that every rename it made can be undone.");
    }
    const std::string journalPath = (*journal)->path();
    journal = Error {};
    const auto loaded = HistoryFile::load(journalPath);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(TransformationHistory::doneCount(loaded->entry), static_cast<std::int64_t>(batch.renamed.size()));
}

}  // namespace
}  // namespace tess
