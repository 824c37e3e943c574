#include "HelperLogger.h"
#include "ClientSession.h"
#include "LogLimiter.h"
#include "LogText.h"
#include "PathRules.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <unistd.h>

namespace tess::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(HelperLoggerTest, KeepsEntriesUntilTheHandOverWithinItsLimit)
{
    TempDir home;
    {
        // Room for three entries of 73 bytes.
        HelperLogger logger(250);
        for (int i = 1; i <= 6; ++i)
            logger.log("entry " + std::to_string(i) + " " + std::string(30, 'x'), "DEBUG");
        EXPECT_FALSE(logger.logPath().has_value());
        logger.setUserHome(home.path(), ::getuid(), ::getgid());
        logger.log("after", "INFO");
        // A second home changes nothing.
        TempDir other;
        logger.setUserHome(other.path(), ::getuid(), ::getgid());
        EXPECT_TRUE(logger.drain(1s));
        EXPECT_EQ(logger.logPath(), home / ".local/state/quenby/Tessaline-helper.log");
        EXPECT_FALSE(other.exists(".local"));
    }
    std::string log = home.readFile(".local/state/quenby/Tessaline-helper.log");
    EXPECT_THAT(log, HasSubstr("] [DEBUG] entry 1 "));
    EXPECT_THAT(log, HasSubstr("] [DEBUG] entry 3 "));
    EXPECT_THAT(log, Not(HasSubstr("entry 4")));
    EXPECT_THAT(log, HasSubstr("] [ERROR] 3 log entries were dropped while waiting for the user's home folder\n"));
    EXPECT_LT(log.find("entry 3"), log.find("dropped"));
    EXPECT_LT(log.find("dropped"), log.find("] [INFO] after\n"));
}

TEST(HelperLoggerTest, EscapesControlCharacters)
{
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"plain text stays", "plain /path/name.txt", "plain /path/name.txt"},
        {"line feed", "a\nb", "a\\nb"},
        {"carriage return and tab", "a\rb\tc", "a\\x0Db\\x09c"},
        {"escape and delete", "\x1B[31m\x7F", "\\x1B[31m\\x7F"},
        {"C1 next line (U+0085)", "a\xC2\x85"
                                  "b",
            "a\\x85b"},
        {"no-break space and accents stay", "\xC2\xA0\xC3\xA9", "\xC2\xA0\xC3\xA9"},
        {"a lone C2 byte at the end", "x\xC2", "x\\xC2"},
        {"bytes that are not UTF-8", "\xFF\xFE", "\\xFF\\xFE"},
        {"raw C1 bytes", "a\x85\x9B"
                         "b",
            "a\\x85\\x9Bb"},
        {"an overlong slash", "\xC0\xAF", "\\xC0\\xAF"},
        {"an encoded surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"a sequence cut short", "\xE2\x80"
                                 "x",
            "\\xE2\\x80x"},
        {"right-to-left override (U+202E)", "evil\xE2\x80\xAEtxt.exe", "evil\\u{202E}txt.exe"},
        {"isolates and marks", "\xE2\x81\xA6\xE2\x80\x8F\xD8\x9C", "\\u{2066}\\u{200F}\\u{061C}"},
        {"line and paragraph separators", "a\xE2\x80\xA8"
                                          "b\xE2\x80\xA9",
            "a\\u{2028}b\\u{2029}"},
        {"zero width space and BOM", "\xE2\x80\x8B\xEF\xBB\xBF", "\\u{200B}\\u{FEFF}"},
        {"a tag character", "\xF3\xA0\x80\x81", "\\u{E0001}"},
        {"a backslash, so that no name reads like an escape", "a\\x0Ab\\", "a\\\\x0Ab\\\\"},
        {"soft hyphen (U+00AD)", "soft\xC2\xAD"
                                 "hyphen",
            "soft\\u{00AD}hyphen"},
        {"musical formatting control (U+1D173)", "a\xF0\x9D\x85\xB3"
                                                 "b",
            "a\\u{1D173}b"},
        {"Arabic number sign and combining grapheme joiner", "\xD8\x80\xCD\x8F", "\\u{0600}\\u{034F}"},
        {"variation selector and zero width joiner", "\xE2\x9D\xA4\xEF\xB8\x8F\xE2\x80\x8D", "\xE2\x9D\xA4\\u{FE0F}\\u{200D}"},
        {"Hangul filler and an unassigned ignorable", "\xE3\x85\xA4\xF3\xA0\xBF\xBF", "\\u{3164}\\u{E0FFF}"},
        {"CJK, emoji and combining marks stay", "\xE6\x97\xA5\xF0\x9F\x98\x80"
                                                "e\xCC\x81",
            "\xE6\x97\xA5\xF0\x9F\x98\x80"
            "e\xCC\x81"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HelperLogger::escapeControls(c.text), c.expected);
    }
}

// Every code point is escaped exactly when it is a control, a format
// character, a line or paragraph separator or default-ignorable, as ICU
// classifies it, or one of the two noncharacters at the end of the BMP.
TEST(HelperLoggerTest, EscapesExactlyTheInvisibleCodePoints)
{
    std::size_t escaped = 0;
    for (UChar32 code = 0x80; code <= 0x10FFFF; ++code) {
        if (U_IS_SURROGATE(code))
            continue;
        char bytes[4];
        int32_t length = 0;
        U8_APPEND_UNSAFE(bytes, length, code);
        const std::string text(bytes, static_cast<std::size_t>(length));
        const int8_t type = u_charType(code);
        const bool invisible = type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_LINE_SEPARATOR
            || type == U_PARAGRAPH_SEPARATOR || u_hasBinaryProperty(code, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)
            || code == 0xFFFE || code == 0xFFFF;
        const bool isEscaped = LogText::escape(text) != text;
        ASSERT_EQ(isEscaped, invisible) << "U+" << std::hex << code;
        escaped += isEscaped ? 1 : 0;
    }
    EXPECT_GT(escaped, 4096u);
}

TEST(HelperLoggerTest, NeverWritesThroughALinkInTheUsersFolder)
{
    TempDir home;
    TempDir outside;
    outside.writeFile("precious", "precious\n");
    home.makeDir(".local/state/quenby");
    struct Case {
        const char* name;
        bool hardLink;
    };
    for (const Case c : {Case {"symbolic link", false}, Case {"hard link", true}}) {
        SCOPED_TRACE(c.name);
        const std::string log = home / ".local/state/quenby/Tessaline-helper.log";
        ::unlink(log.c_str());
        ASSERT_EQ(c.hardLink ? ::link((outside / "precious").c_str(), log.c_str())
                             : ::symlink((outside / "precious").c_str(), log.c_str()),
            0);
        HelperLogger logger;
        logger.setUserHome(home.path(), ::getuid(), ::getgid());
        logger.log("must not land in the target", "INFO");
        EXPECT_TRUE(logger.drain(1s));
        EXPECT_EQ(outside.readFile("precious"), "precious\n");
    }
}

TEST(HelperLoggerTest, WritesOnlyThroughFoldersOfTheUserOrRoot)
{
    // The user is 4242; a folder of the path that belongs to 4343 could be
    // rearranged by that other account, so nothing is written below it.
    struct Case {
        const char* name;
        uid_t localOwner;
        bool written;
    };
    for (const Case c : {Case {"a third account's folder", 4343, false}, Case {"the user's folder", 4242, true}}) {
        SCOPED_TRACE(c.name);
        TempDir home;
        home.makeDir(".local/state");
        if (::chown((home / ".local").c_str(), c.localOwner, 4242) != 0)
            GTEST_SKIP() << "changing owners needs root";
        {
            HelperLogger logger;
            logger.setUserHome(home.path(), 4242, 4242);
            logger.log("entry", "INFO");
            EXPECT_TRUE(logger.drain(1s));
        }
        EXPECT_EQ(home.exists(".local/state/quenby"), c.written);
        struct stat info { };
        if (c.written) {
            ASSERT_EQ(::lstat((home / ".local/state/quenby/Tessaline-helper.log").c_str(), &info), 0);
            EXPECT_EQ(info.st_uid, 4242u);
        }
    }
}

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

TEST(HelperLoggerTest, DropsWhatDoesNotFitTheQueueAndSaysHowMuch)
{
    TempDir home;
    constexpr int kEntries = 20000;
    {
        // Room for a few entries only: the worker cannot keep up.
        HelperLogger logger(HelperLogger::kDefaultBufferLimit, 2048);
        logger.setUserHome(home.path(), ::getuid(), ::getgid());
        for (int i = 0; i < kEntries; ++i)
            logger.log("entry " + std::to_string(i), "INFO");
        EXPECT_TRUE(logger.drain(10s));
    }
    std::string log = home.readFile(".local/state/quenby/Tessaline-helper.log");
    std::size_t written = countOf(log, "] [INFO] entry ");
    std::size_t dropped = 0;
    for (auto at = log.find("] [ERROR] "); at != std::string::npos; at = log.find("] [ERROR] ", at + 1)) {
        std::size_t number = at + 10;
        ASSERT_EQ(log.compare(log.find(' ', number), 18, " log lines dropped"), 0) << log.substr(at, 80);
        dropped += std::stoul(log.substr(number));
    }
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(written + dropped, static_cast<std::size_t>(kEntries));
    EXPECT_THAT(log, HasSubstr("] [INFO] entry 0\n")) << "the first entries are kept";
}

TEST(HelperLoggerTest, RotatesItsFileOnceAtTheSizeLimit)
{
    TempDir home;
    {
        HelperLogger logger;
        logger.configure("", 4096);
        logger.setUserHome(home.path(), ::getuid(), ::getgid());
        for (int i = 0; i < 300; ++i)
            logger.log("entry " + std::to_string(i) + " " + std::string(60, 'x'), "INFO");
        EXPECT_TRUE(logger.drain(5s));
    }
    const std::string current = home.readFile(".local/state/quenby/Tessaline-helper.log");
    const std::string older = home.readFile(".local/state/quenby/Tessaline-helper.log.1");
    EXPECT_LE(current.size(), 4096u);
    EXPECT_GT(older.size(), 4096u - 200);
    EXPECT_LE(older.size(), 4096u);
    EXPECT_THAT(current, HasSubstr("] [INFO] entry 299 "));
    EXPECT_EQ(older.find("entry 0 "), std::string::npos) << "only one older file is kept";
    EXPECT_FALSE(home.exists(".local/state/quenby/Tessaline-helper.log.2"));
}

TEST(HelperLoggerTest, CutsLongArgumentsOnACharacterBoundary)
{
    struct Case {
        const char* name;
        std::string argument;
        std::string expected;
    };
    const Case cases[] = {
        {"short stays", "/tmp/x", "/tmp/x"},
        {"exactly the limit stays", std::string(256, 'a'), std::string(256, 'a')},
        {"longer", std::string(300, 'a'), std::string(256, 'a') + "\u2026 (300 bytes)"},
        {"not inside a character", std::string(255, 'a') + "\xC3\xA9" + "b", std::string(255, 'a') + "\u2026 (258 bytes)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LogText::clip(c.argument), c.expected);
    }
}

// The entries of a log file without their times: "[LEVEL] message" lines.
std::string entriesOf(const std::string& log)
{
    std::string entries;
    for (std::size_t at = log.find("] ["); at != std::string::npos; at = log.find("] [", at + 1))
        entries += log.substr(at + 2, log.find('\n', at) - at - 1);
    return entries;
}

TEST(ClientSessionTest, LogsRefusalsOncePerIntervalPerUserWhateverTheConnections)
{
    TempDir home;
    TempDir var;
    const std::string rootLog = var / "root.log";
    {
        HelperLogger logger;
        logger.configure(rootLog, LogFile::kDefaultSizeLimit);
        logger.setUserHome(home.path(), ::getuid(), ::getgid());
        LogLimiter::Clock::time_point now {};
        LogLimiter limits({1, 10s}, LogLimiter::kConnections, [&now] { return now; });
        // Two connections of this user take turns; another user has a budget of its own.
        PeerContext peer {1, ::getuid(), ::getgid(), 1};
        ClientSession first(logger, peer, limits);
        ClientSession second(logger, peer, limits);
        ClientSession other(logger, {2, 4242, 4242, 1}, limits);
        for (int i = 0; i < 5; ++i) {
            ClientSession& session = i % 2 == 0 ? first : second;
            session.request("Request " + std::to_string(i));
            session.refuse("Refused " + std::to_string(i));
            other.request("Other " + std::to_string(i));
            other.refuse("Other refused " + std::to_string(i));
        }
        now += 10s;
        second.request("Request 5");
        second.refuse("Refused 5");
        first.request("Request 6");
        first.refuse("Refused 6");
        // A request that is not refused is logged with what it did.
        now += 10s;
        first.request("Request 7");
        first.log("Done 7", "INFO");
        first.request("Request 8");
        first.finishRequest();
        logger.drain(1s);
    }
    // Once the budget allows, the end of a connection tells what was not logged.
    EXPECT_EQ(entriesOf(home.readFile(".local/state/quenby/Tessaline-helper.log")),
        "[INFO] Request 0\n"
        "[ERROR] Refused 0\n"
        "[INFO] Request 5\n"
        "[ERROR] Refused 5 (4 more refusals from uid 0 were not logged)\n"
        "[INFO] Request 7\n"
        "[INFO] Done 7\n"
        "[INFO] Request 8\n"
        "[ERROR] 1 more refusal from uid 0 was not logged\n");
    EXPECT_EQ(entriesOf(var.readFile("root.activity.log")),
        "[INFO] Other 0\n"
        "[ERROR] Other refused 0\n"
        "[ERROR] 4 more refusals from uid 4242 were not logged\n");
    EXPECT_FALSE(var.exists("root.log"));
}

TEST(LogLimiterTest, LetsABurstThroughThenOneLinePerShare)
{
    LogLimiter::Clock::time_point now {};
    LogLimiter limits(LogLimiter::kRefusals, {3, 3s}, [&now] { return now; });
    std::vector<bool> written;
    for (int i = 0; i < 5; ++i)
        written.push_back(limits.admit(7, LogLimiter::Kind::connection).write);
    EXPECT_EQ(written, (std::vector<bool> {true, true, true, false, false}));
    EXPECT_EQ(limits.takeDueCount(7, LogLimiter::Kind::connection), 0u) << "the budget is spent";
    now += 1s;  // a third of the interval gives one line
    auto admitted = limits.admit(7, LogLimiter::Kind::connection);
    EXPECT_TRUE(admitted.write);
    EXPECT_EQ(admitted.notWritten, 2u);
    EXPECT_FALSE(limits.admit(7, LogLimiter::Kind::connection).write);
    const auto counts = limits.takeAllCounts();
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(LogLimiter::countText(counts[0]), "1 more connection from uid 7 was not logged");
    EXPECT_TRUE(limits.takeAllCounts().empty());
    EXPECT_EQ(LogLimiter::countText({LogLimiter::kOtherUsers, LogLimiter::Kind::refusal, 12}), "12 more refusals from other users were not logged");
}

TEST(PathRulesTest, StandardisesAbsolutePathsOnly)
{
    struct Case {
        const char* input;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"/a//./b/", "/a/b"},
        {"/a/b/../../../c", "/c"},
        {"/..", "/"},
        {"/", "/"},
        {"/a/./../b/.", "/b"},
        {"a/b", std::nullopt},
        {"~/x", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathRules::standardize(c.input), c.expected) << c.input;
    EXPECT_EQ(PathRules::parent("/a/b/c"), "/a/b");
    EXPECT_EQ(PathRules::parent("/a/"), "/");
    EXPECT_EQ(PathRules::parent("/a"), "/");
}

}  // namespace
}  // namespace tess::test
