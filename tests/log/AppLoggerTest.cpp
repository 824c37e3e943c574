#include "log/AppLogger.h"

#include "plist/NotificationCenter.h"
#include "plist/PlistXml.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

namespace tess {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace std::chrono_literals;

// 2025-03-07 13:02:11.045 UTC; the tests run with TZ=UTC.
const system_clock::time_point kNow = sys_days(2025y / March / 7) + 13h + 2min + 11s + 45ms;
const std::string kStamp = "2025-03-07T13:02:11Z";
const std::string kRule(80, '=');
const std::string kBanner = "\n\n\n" + kRule + "\nTessaline Started\nBuild: " + kStamp + "\nVersion: 9.9\n" + kRule + "\n";
const std::string kLineTime = "[2025-03-07 13:02:11.045] ";

std::string defaultsDocument(const PlistValue& debugLogging)
{
    PlistValue::Dictionary preferences {{"debugLogging", debugLogging}, {"workerCount", 4}};
    PlistValue::Dictionary document {{"preferences", preferences}};
    return toPlistXml(PlistValue::Dictionary {{"app.quenby.Tessaline.preferences", document}});
}

// Local time is UTC while a test runs.
class UtcTimeZone {
public:
    UtcTimeZone()
        : m_env(std::make_unique<test::ScopedEnv>("TZ", "UTC"))
    {
        tzset();
    }
    ~UtcTimeZone()
    {
        m_env.reset();
        tzset();
    }

private:
    std::unique_ptr<test::ScopedEnv> m_env;
};

class AppLoggerTest : public ::testing::Test {
protected:
    std::unique_ptr<AppLogger> makeLogger(std::optional<std::string> defaults = std::nullopt, std::string folder = {})
    {
        if (defaults) {
            m_dir.writeFile("defaults.plist", *defaults);
        }
        AppLogger::Options options;
        options.logFolder = folder.empty() ? logFolder() : folder;
        options.defaultsPath = m_dir / "defaults.plist";
        options.version = "9.9";
        options.notificationCenter = &m_center;
        options.clock = [] { return kNow; };
        return std::make_unique<AppLogger>(std::move(options));
    }

    std::string logFolder() const { return m_dir / "state/quenby"; }
    std::string logText() const { return m_dir.readFile("state/quenby/Tessaline-app.log"); }
    // What the logger wrote after its banner.
    std::string entries() const
    {
        std::string text = logText();
        return text.rfind(kBanner, 0) == 0 ? text.substr(kBanner.size()) : "<no banner>" + text;
    }

    UtcTimeZone m_utc;
    test::TempDir m_dir;
    NotificationCenter m_center;
};

TEST_F(AppLoggerTest, LineShapesFollowTheDebugFlag)
{
    struct Case {
        bool debug;
        const char* level;
        std::string expected;
    };
    const std::vector<Case> cases {
        {true, "INFO", kLineTime + "[INFO] [Scanner.cpp:42] hello ❌\n"},
        {true, "DEBUG", kLineTime + "[DEBUG] [Scanner.cpp:42] hello ❌\n"},
        {false, "INFO", kLineTime + "[INFO] hello ❌\n"},
        {false, "DEBUG", ""},
    };
    for (const Case& c : cases) {
        fs::remove_all(logFolder());
        auto logger = makeLogger(defaultsDocument(c.debug));
        logger->log("hello ❌", c.level, "/src/engine/scan/Scanner.cpp", 42);
        logger->flush();
        EXPECT_EQ(entries(), c.expected) << c.debug << " " << c.level;
    }
}

TEST_F(AppLoggerTest, StartsWithTheBannerAndKeepsEarlierContent)
{
    m_dir.writeFile("state/quenby/Tessaline-app.log", "earlier\n");
    auto logger = makeLogger();
    logger->flush();
    EXPECT_EQ(logger->logFilePath(), logFolder() + "/Tessaline-app.log");
    EXPECT_EQ(logText(), "earlier\n" + kBanner);
}

TEST_F(AppLoggerTest, DebugFlagDefaultsToOnWhenTheStoredValueIsMissingOrUnreadable)
{
    struct Case {
        const char* name;
        std::optional<std::string> defaults;
        bool expectDebug;
    };
    const std::vector<Case> cases {
        {"no stored defaults", std::nullopt, true},
        {"unreadable document", std::string("not a property list"), true},
        {"string instead of Boolean", defaultsDocument("false"), true},
        {"no preferences key", toPlistXml(PlistValue::Dictionary {{"other", 1}}), true},
        {"stored off", defaultsDocument(false), false},
    };
    for (const Case& c : cases) {
        fs::remove_all(logFolder());
        fs::remove(m_dir / "defaults.plist");
        auto logger = makeLogger(c.defaults);
        logger->log("probe", "DEBUG", "File.cpp", 7);
        logger->flush();
        EXPECT_EQ(entries(), c.expectDebug ? kLineTime + "[DEBUG] [File.cpp:7] probe\n" : "") << c.name;
    }
}

// Something other than a regular file where the defaults should be reads as
// "no stored value"; a FIFO must not block the logger's creation.
TEST_F(AppLoggerTest, DefaultsPathThatIsNoRegularFileReadsAsDebugOn)
{
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
    };
    const std::vector<Case> cases {
        {"folder", [](const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }},
        {"fifo", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        fs::remove_all(logFolder());
        const std::string defaults = m_dir / "defaults.plist";
        fs::remove_all(defaults);
        c.make(defaults);

        // Should creation block on the FIFO, a writer that opens and closes
        // it ends the wait and the test fails instead of hanging.
        std::promise<void> created;
        std::future<void> done = created.get_future();
        std::unique_ptr<AppLogger> logger;
        std::thread maker([&] {
            logger = makeLogger();
            created.set_value();
        });
        const bool inTime = done.wait_for(5s) == std::future_status::ready;
        if (!inTime) {
            int fd = ::open(defaults.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
        }
        maker.join();
        EXPECT_TRUE(inTime) << c.name;

        logger->log("probe", "DEBUG", "File.cpp", 7);
        logger->flush();
        EXPECT_EQ(entries(), kLineTime + "[DEBUG] [File.cpp:7] probe\n") << c.name;
    }
}

TEST_F(AppLoggerTest, DebugLoggingChangedAppliesOnlyBooleanValues)
{
    auto logger = makeLogger();
    m_center.post("DebugLoggingChanged", {{"enabled", "false"}});
    m_center.post("DebugLoggingChanged", {{"other", false}});
    logger->log("still on", "DEBUG", "A.cpp", 1);
    m_center.post("DebugLoggingChanged", {{"enabled", false}});
    logger->log("dropped", "DEBUG", "A.cpp", 2);
    logger->log("plain", "WARN", "A.cpp", 3);
    logger->setDebugEnabled(true);
    logger->log("located", "ERROR", "A.cpp", 4);
    logger->flush();
    EXPECT_EQ(entries(),
        kLineTime + "[DEBUG] [A.cpp:1] still on\n"
            + kLineTime + "[WARN] plain\n"
            + kLineTime + "[ERROR] [A.cpp:4] located\n");
}

TEST_F(AppLoggerTest, RotatesOnlyALogLargerThanFiveMebibytes)
{
    const std::string rotatedName = "Tessaline-app-" + kStamp + ".log";
    for (std::int64_t size : {AppLogger::kRotationSize, AppLogger::kRotationSize + 1}) {
        fs::remove_all(logFolder());
        // The size is checked after this run's banner has been appended.
        const std::string earlier(static_cast<std::size_t>(size) - kBanner.size(), 'x');
        m_dir.writeFile("state/quenby/Tessaline-app.log", earlier);
        auto logger = makeLogger();
        logger->flush();
        const bool rotated = size > AppLogger::kRotationSize;
        EXPECT_EQ(fs::exists(logFolder() + "/" + rotatedName), rotated) << size;
        if (rotated) {
            EXPECT_EQ(m_dir.readFile("state/quenby/" + rotatedName), earlier + kBanner);
            EXPECT_EQ(logText(), kBanner);
        } else {
            EXPECT_EQ(fs::file_size(logger->logFilePath()), static_cast<std::uintmax_t>(size));
        }
    }
}

// Readers on other threads (tests, tools) see one unchanging path, also while
// the queue rotates the log (a data race here shows under ThreadSanitizer).
TEST_F(AppLoggerTest, LogFilePathStaysTheSameWhileTheLogRotates)
{
    m_dir.writeFile("state/quenby/Tessaline-app.log", std::string(AppLogger::kRotationSize, 'x'));
    const std::string expected = logFolder() + "/Tessaline-app.log";
    std::atomic<bool> stop {false};
    std::unique_ptr<AppLogger> logger = makeLogger();
    std::thread reader([&] {
        while (!stop) {
            EXPECT_EQ(logger->logFilePath(), expected);
        }
    });
    logger->flush();
    stop = true;
    reader.join();
    EXPECT_TRUE(fs::exists(logFolder() + "/Tessaline-app-" + kStamp + ".log"));
    EXPECT_EQ(logText(), kBanner);
}

TEST_F(AppLoggerTest, RotationKeepsTheTenNewestRotatedLogsAndNothingElseIsTouched)
{
    for (int day = 1; day <= 11; ++day) {
        m_dir.writeFile("state/quenby/Tessaline-app-2020-01-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + "T00:00:00Z.log", "old");
    }
    const std::vector<std::string> unrelated {"other.log", "Tessaline-app.log.bak", "Tessaline-helper.log", "notes.txt"};
    for (const auto& name : unrelated) {
        m_dir.writeFile("state/quenby/" + name, "keep");
    }
    m_dir.writeFile("state/quenby/Tessaline-app.log", std::string(AppLogger::kRotationSize, 'x'));

    auto logger = makeLogger();
    logger->flush();

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(logFolder())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected {"Tessaline-app-" + kStamp + ".log", "Tessaline-app.log"};
    for (int day = 3; day <= 11; ++day) {
        expected.push_back("Tessaline-app-2020-01-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + "T00:00:00Z.log");
    }
    expected.insert(expected.end(), unrelated.begin(), unrelated.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    for (const auto& name : unrelated) {
        EXPECT_EQ(m_dir.readFile("state/quenby/" + name), "keep");
    }
    EXPECT_EQ(logText(), kBanner);
}

TEST_F(AppLoggerTest, FailedRotationIsReportedAndNeverReplacesAnEarlierRotatedLog)
{
    // A rotated log of the same second already exists: it must survive.
    const std::string rotatedName = "Tessaline-app-" + kStamp + ".log";
    m_dir.writeFile("state/quenby/" + rotatedName, "previous rotation");
    const std::string earlier(AppLogger::kRotationSize, 'x');
    m_dir.writeFile("state/quenby/Tessaline-app.log", earlier);

    testing::internal::CaptureStdout();
    auto logger = makeLogger();
    logger->log("goes on", "INFO", "B.cpp", 9);
    logger->flush();
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(out.rfind("Failed to rotate log: ", 0), 0u) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(m_dir.readFile("state/quenby/" + rotatedName), "previous rotation");
    EXPECT_EQ(logText(), earlier + kBanner + kLineTime + "[INFO] [B.cpp:9] goes on\n");
}

TEST_F(AppLoggerTest, ALogDeletedWhileRunningIsRecreatedWithTheNextEntryOnly)
{
    auto logger = makeLogger();
    logger->log("first", "INFO", "C.cpp", 1);
    logger->flush();
    ASSERT_EQ(::unlink(logger->logFilePath().c_str()), 0);
    logger->log("second", "INFO", "C.cpp", 2);
    logger->flush();
    EXPECT_EQ(logText(), kLineTime + "[INFO] [C.cpp:2] second\n");
}

TEST_F(AppLoggerTest, AnUnwritableLogFolderDropsEntriesWithoutHarm)
{
    // Tests run as root: a regular file where the folder should be is
    // what makes creation fail.
    m_dir.writeFile("blocked", "not a folder");
    auto logger = makeLogger(std::nullopt, m_dir / "blocked");
    logger->log("lost", "ERROR", "D.cpp", 1);
    logger->flush();
    EXPECT_EQ(m_dir.readFile("blocked"), "not a folder");
    EXPECT_FALSE(fs::exists(m_dir / "blocked/Tessaline-app.log"));
}

TEST_F(AppLoggerTest, EntriesFromManyThreadsAreWrittenWholeAndInEachThreadsOrder)
{
    auto logger = makeLogger(defaultsDocument(false));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                logger->log(std::to_string(t) + ":" + std::to_string(i), "INFO", "E.cpp", 1);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    logger->flush();
    std::istringstream lines(entries());
    std::vector<int> next(4, 0);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.rfind(kLineTime + "[INFO] ", 0), 0u) << line;
        std::string message = line.substr(kLineTime.size() + 7);
        int thread = std::stoi(message.substr(0, message.find(':')));
        EXPECT_EQ(std::stoi(message.substr(message.find(':') + 1)), next[thread]++);
        ++count;
    }
    EXPECT_EQ(count, 800);
}

TEST_F(AppLoggerTest, DestroyingALoggerWritesWhatWasQueued)
{
    auto logger = makeLogger();
    for (int i = 0; i < 100; ++i) {
        logger->log("entry", "INFO", "F.cpp", i);
    }
    logger.reset();
    std::string text = entries();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100);
}

TEST(AppLoggerShared, WritesToTheXdgLogFolderAndFinishesQueuedEntriesAtExit)
{
    test::IsolatedHome home;
    EXPECT_EXIT(
        {
            for (int i = 0; i < 2000; ++i) {
                TESS_LOG_INFO("before exit " + std::to_string(i));
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string text = home.dir().readFile(".local/state/quenby/Tessaline-app.log");
    EXPECT_NE(text.find("Tessaline Started\nBuild: "), std::string::npos);
    EXPECT_EQ(text.find("Version: unknown"), std::string::npos);
    // No stored defaults: debug logging is on, so lines carry this file's name.
    EXPECT_NE(text.find("] [INFO] [AppLoggerTest.cpp:"), std::string::npos);
    EXPECT_NE(text.find("before exit 1999\n"), std::string::npos);
}

}  // namespace
}  // namespace tess
