// History files that are corrupt or hostile: huge, full of separators. The
// list reads every file of the history folder on its own, so reading one must
// never cost many times the file's size.

#include "HistoryTestSupport.h"
#include "TempDir.h"

#include "history/TransformationHistory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tess {
namespace {

long peakResidentKiB()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

constexpr std::size_t kHugeSize = std::size_t {16} << 20;  // 16 MiB
constexpr long kAllowedGrowthKiB = 40 << 10;  // 40 MiB: the file, not sixteen times it

TEST(HostileHistoryFile, OnlySeparatorsCostNoMoreThanTheFile)
{
    test::TempDir dir;
    const std::string zeros(kHugeSize, '\0');
    dir.writeFile("zeros.tshistory", zeros);
    // A valid header followed by millions of empty tokens.
    const std::string header = test::tokens({"TSHISTORY", "1", "2025-01-31T09:05:07.250Z", "/srv", "rename", ""});
    const std::string withHeader = header + zeros;
    dir.writeFile("records.tshistory", withHeader);

    const long before = peakResidentKiB();
    EXPECT_FALSE(TransformationHistory::readHeader(dir / "zeros.tshistory"));
    const auto summary = TransformationHistory::readHeader(dir / "records.tshistory");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->recordCount, static_cast<std::int64_t>(kHugeSize / 5));
    EXPECT_EQ(summary->userFacingCount, 0);
    EXPECT_EQ(TransformationHistory::listHistories(dir.path()).size(), 1u);

    const auto parsed = TransformationHistory::parse(zeros);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().message, "Invalid history file format: missing magic: got ''");
    const auto records = TransformationHistory::parse(withHeader);
    ASSERT_FALSE(records);
    EXPECT_EQ(records.error().message, "Invalid token count: expected multiple of 5 after header, got remainder 1");
    EXPECT_LT(peakResidentKiB() - before, kAllowedGrowthKiB);
}

TEST(HostileHistoryFile, OnlyRegularFilesAreRead)
{
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.tshistory").c_str(), 0600), 0);
    dir.makeDir("folder.tshistory");
    dir.writeFile("real.tshistory", test::tokens({"TSHISTORY", "1", "2025-01-31T09:05:07.250Z", "/srv", "rename", ""}));

    std::promise<std::size_t> listed;
    std::future<std::size_t> result = listed.get_future();
    std::thread lister([&] { listed.set_value(TransformationHistory::listHistories(dir.path()).size()); });
    const bool finished = result.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    if (!finished) {
        // Give the blocked reader a writer so that the thread can end.
        const int fd = ::open((dir / "pipe.tshistory").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    lister.join();
    EXPECT_TRUE(finished) << "listing blocked on a pipe";
    EXPECT_EQ(result.get(), 1u);
}

}  // namespace
}  // namespace tess
