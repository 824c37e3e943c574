// Opening an index that is damaged, cannot be written or is not a file: a
// damaged file is kept under a dated name and replaced by a fresh index; an
// index that cannot be written, or read, is an error with one "Failed to open
// database: " prefix, and nothing is moved.

#include "IndexTestSupport.h"
#include "RawDatabase.h"
#include "TempDir.h"
#include "index/FileIndexDatabase.h"
#include "index/IndexFileCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

namespace tess {
namespace {

using test::keptAside;
using test::LogWatcher;
using test::makeIndex;
using test::TempDir;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr std::string_view kPrefix = "Failed to open database: ";

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void overwrite(const std::string& path, std::uintmax_t offset, const std::string& bytes)
{
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::size_t occurrences(const std::string& text, std::string_view part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

struct Damage {
    const char* name;
    std::function<void(const std::string&)> apply;
};

TEST(FileIndexRecovery, ADamagedIndexIsKeptUnderADatedNameAndAFreshOneTakesItsPlace)
{
    const std::vector<Damage> damages = {
        {"truncated", [](const std::string& path) { std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2); }},
        {"header changed", [](const std::string& path) { overwrite(path, 0, "Not an index at!"); }},
        {"page zeroed",
            [](const std::string& path) {
                const std::uintmax_t pages = std::filesystem::file_size(path) / 4096;
                overwrite(path, pages / 2 * 4096, std::string(4096, '\0'));
            }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        TempDir dir;
        const std::string path = dir / "tessaline.db";
        makeIndex(path, 2000);
        damage.apply(path);
        const std::string damagedBytes = readBytes(path);

        LogWatcher log;
        // Time enough to read every page even on a loaded machine: this test
        // is about what a check that finishes finds.
        auto opened = FileIndexDatabase::open(path, FileIndexDatabase::OpenOptions {std::chrono::seconds(30)});
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        const auto& database = opened.value();

        const std::vector<std::string> aside = keptAside(dir);
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_TRUE(std::regex_match(aside[0], std::regex(R"(tessaline\.db\.damaged-\d{4}-\d{2}-\d{2}-\d{6}Z)"))) << aside[0];
        EXPECT_EQ(readBytes(dir / aside[0]), damagedBytes);
        ASSERT_TRUE(database->recoveryNotice().has_value());
        EXPECT_THAT(*database->recoveryNotice(), HasSubstr(dir / aside[0]));
        EXPECT_THAT(*database->recoveryNotice(), HasSubstr("the next scan rebuilds it"));
        EXPECT_TRUE(log.waitFor("WARN"));
        EXPECT_TRUE(log.waitFor("is damaged ("));
        EXPECT_TRUE(log.waitFor("moved aside to " + (dir / aside[0])));

        // The fresh index in its place takes writes.
        EXPECT_EQ(database->totalCount("/r"), 0);
        EXPECT_TRUE(database->upsertFiles({test::makeResult("/r", "a")}, "/r", test::atSeconds(6)));
        EXPECT_EQ(database->totalCount("/r"), 1);
    }
}

TEST(FileIndexRecovery, AnIntactIndexIsOpenedAsItIs)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    makeIndex(path, 200);
    auto opened = FileIndexDatabase::open(path);
    ASSERT_TRUE(opened.ok());
    EXPECT_FALSE(opened.value()->recoveryNotice().has_value());
    EXPECT_EQ(opened.value()->totalCount("/r"), 200);
    EXPECT_TRUE(keptAside(dir).empty());
}

// Marks a file or folder read-only for the test's life: immutable when the
// test runs as root (who may write anything else), else without write
// permission.
class ReadOnly {
public:
    explicit ReadOnly(std::string path)
        : m_path(std::move(path))
        , m_ok(apply(true))
    {
    }
    ~ReadOnly()
    {
        if (m_ok) {
            apply(false);
        }
    }
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;
    bool ok() const { return m_ok; }

private:
    bool apply(bool readOnly) const
    {
        struct stat info { };
        if (::stat(m_path.c_str(), &info) != 0) {
            return false;
        }
        if (::geteuid() != 0) {
            return ::chmod(m_path.c_str(), readOnly ? (info.st_mode & 07555) : (info.st_mode | 0200)) == 0;
        }
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = readOnly ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::string m_path;
    bool m_ok = false;
};

struct Unusable {
    const char* name;
    // What stands where the index is: "folder" for a folder, else an index
    // whose "file" or "folder" is made read-only.
    const char* what;
    const char* readOnly;
    const char* says;  // part of the message
};

TEST(FileIndexRecovery, AnIndexThatCannotBeWrittenOrOpenedIsAnErrorAndNothingIsMoved)
{
    const std::vector<Unusable> cases = {
        {"a folder in its place", "folder", nullptr, "unable to open database file"},
        {"read-only folder", "index", "folder", "cannot be written)"},
        {"read-only file", "index", "file", "tessaline.db cannot be written)"},
    };
    for (const Unusable& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.makeDir("data");
        const std::string path = dir / "data/tessaline.db";
        if (std::string(c.what) == "folder") {
            dir.makeDir("data/tessaline.db");
        } else {
            makeIndex(path, 100);
        }
        const std::string before = std::string(c.what) == "index" ? readBytes(path) : std::string();
        std::optional<ReadOnly> readOnly;
        if (c.readOnly != nullptr) {
            readOnly.emplace(std::string(c.readOnly) == "file" ? path : dir / "data");
            if (!readOnly->ok()) {
                GTEST_SKIP() << "cannot make " << c.readOnly << " read-only here";
            }
        }
        LogWatcher log;
        auto opened = FileIndexDatabase::open(path);
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.error().domain, kAppErrorDomain);
        EXPECT_NE(opened.error().code, SQLITE_OK);
        EXPECT_THAT(opened.error().message, StartsWith(std::string(kPrefix)));
        EXPECT_EQ(occurrences(opened.error().message, kPrefix), 1u) << opened.error().message;
        EXPECT_TRUE(log.waitFor("ERROR"));
        EXPECT_THAT(opened.error().message, HasSubstr(c.says));
        readOnly.reset();
        for (const auto& entry : std::filesystem::directory_iterator(dir / "data")) {
            EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr("damaged"))) << "moved aside";
        }
        if (!before.empty()) {
            EXPECT_EQ(readBytes(path), before);
            auto reopened = FileIndexDatabase::open(path);
            ASSERT_TRUE(reopened.ok());
            EXPECT_EQ(reopened.value()->totalCount("/r"), 100);
        }
    }
}

// A write lock held by another connection (a long write of an index object
// still open) is no reason to wait, nor to refuse the index.
TEST(FileIndexRecovery, AnIndexWhoseWriteLockIsHeldOpensWithoutWaiting)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    makeIndex(path, 10);
    test::RawDatabase holder(path);
    holder.exec("BEGIN IMMEDIATE");
    holder.exec("DELETE FROM file_index WHERE id = 1");
    const auto start = std::chrono::steady_clock::now();
    auto opened = FileIndexDatabase::open(path);
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_EQ(opened.value()->totalCount("/r"), 10);
    holder.exec("ROLLBACK");
}

// Opened from two threads at once (a restore and a scan start), a new, an
// intact and a damaged index open on both, one file for both: neither takes
// the other's brief locks for a refusal, and a damaged file is moved aside
// once, by one of them; both tell, since the fresh index they share notes the
// replacement.
TEST(FileIndexRecovery, TwoOpensAtOnceBothSucceed)
{
    enum class Start { none,
        intact,
        damaged };
    for (const Start start : {Start::none, Start::intact, Start::damaged}) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE("start " + std::to_string(static_cast<int>(start)) + " round " + std::to_string(round));
            TempDir dir;
            const std::string path = dir / "tessaline.db";
            if (start != Start::none) {
                makeIndex(path, start == Start::damaged ? 2000 : 10);
            }
            if (start == Start::damaged) {
                overwrite(path, 0, "Not an index at!");
            }
            const FileIndexDatabase::OpenOptions options {std::chrono::seconds(30)};
            std::optional<Result<std::shared_ptr<FileIndexDatabase>>> other;
            std::thread second([&] { other = FileIndexDatabase::open(path, options); });
            auto first = FileIndexDatabase::open(path, options);
            second.join();
            ASSERT_TRUE(first.ok()) << first.error().message;
            ASSERT_TRUE(other->ok()) << other->error().message;
            const bool damaged = start == Start::damaged;
            EXPECT_EQ(keptAside(dir).size(), damaged ? 1U : 0U);
            EXPECT_EQ(first.value()->recoveryNotice().has_value(), damaged);
            EXPECT_EQ(other->value()->recoveryNotice().has_value(), damaged);
            EXPECT_TRUE(first.value()->upsertFiles({test::makeResult("/r", "a")}, "/r", test::atSeconds(6)));
            EXPECT_EQ(other->value()->totalCount("/r"), start == Start::intact ? 11 : 1);
            first.value()->close();
            other->value()->close();
        }
    }
}

// The check stops at its time limit without calling an index damaged; a cut
// file is still found by its length.
TEST(FileIndexRecovery, TheQuickCheckIsBoundedInTimeAndACutFileIsStillFound)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    makeIndex(path, 30000);
    const FileIndexDatabase::OpenOptions hurried {std::chrono::milliseconds(1)};
    {
        LogWatcher log;
        auto opened = FileIndexDatabase::open(path, hurried);
        ASSERT_TRUE(opened.ok());
        EXPECT_FALSE(opened.value()->recoveryNotice().has_value());
        EXPECT_TRUE(log.waitFor("FileIndexDatabase: quick check stopped at its time limit after "));
        EXPECT_EQ(opened.value()->totalCount("/r"), 30000);
        opened.value()->close();
    }
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 4 * 3);
    auto opened = FileIndexDatabase::open(path, hurried);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    EXPECT_TRUE(opened.value()->recoveryNotice().has_value());
    EXPECT_EQ(keptAside(dir).size(), 1u);
}

TEST(FileIndexRecovery, FilesMovedAsideInTheSameSecondGetNumberedNamesWithTheirLog)
{
    TempDir dir;
    const std::string path = dir / "tessaline.db";
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1781150400));  // 2026-06-11 04:00:00 UTC
    dir.writeFile("tessaline.db", "first");
    dir.writeFile("tessaline.db-wal", "first log");
    const auto first = IndexFileCheck::moveAside(path, when);
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(*first, dir / "tessaline.db.damaged-2026-06-11-040000Z");
    dir.writeFile("tessaline.db", "second");
    const auto second = IndexFileCheck::moveAside(path, when);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*second, dir / "tessaline.db.damaged-2026-06-11-040000Z-2");
    EXPECT_EQ(dir.readFile("tessaline.db.damaged-2026-06-11-040000Z"), "first");
    EXPECT_EQ(dir.readFile("tessaline.db.damaged-2026-06-11-040000Z-wal"), "first log");
    EXPECT_EQ(dir.readFile("tessaline.db.damaged-2026-06-11-040000Z-2"), "second");
    EXPECT_FALSE(dir.exists("tessaline.db"));
    EXPECT_FALSE(dir.exists("tessaline.db-wal"));
}

}  // namespace
}  // namespace tess
