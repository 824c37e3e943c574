#include "text/Text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tess::text {
namespace {

using namespace std::string_literals;

std::vector<std::string> clusters(std::string_view s)
{
    std::vector<std::string> out;
    forEachGrapheme(s, [&](std::string_view cluster) {
        out.emplace_back(cluster);
        return true;
    });
    return out;
}

const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
const std::string kFrance = "\U0001F1EB\U0001F1F7";
const std::string kGermany = "\U0001F1E9\U0001F1EA";

TEST(Graphemes, SplitsIntoExtendedClusters)
{
    struct Case {
        std::string input;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", {}},
        {"abc", {"a", "b", "c"}},
        {"a\r\nb", {"a", "\r\n", "b"}},
        {"\r\r\n\n", {"\r", "\r\n", "\n"}},
        {"e\u0301", {"e\u0301"}},
        {"Cafe\u0301.txt", {"C", "a", "f", "e\u0301", ".", "t", "x", "t"}},
        {"\r\n\u0301", {"\r\n", "\u0301"}},
        {kFamily, {kFamily}},
        {"x" + kFamily + "y", {"x", kFamily, "y"}},
        {kFrance + kGermany, {kFrance, kGermany}},
        {kFrance + "\U0001F1E9", {kFrance, "\U0001F1E9"}},
        {"\u1112\u1161\u11AB", {"\u1112\u1161\u11AB"}},  // Hangul jamo L V T
        {"a\0b"s, {"a", "\0"s, "b"}},
        {"x\0\u0301"s, {"x", "\0"s, "\u0301"}},  // NUL is a control: nothing attaches to it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        EXPECT_EQ(clusters(c.input), c.expected);
        EXPECT_EQ(graphemeCount(c.input), c.expected.size());
    }
}

TEST(Graphemes, StopsWhenTheCallbackSaysSo)
{
    std::vector<std::string> seen;
    forEachGrapheme("ab" + kFamily + "c", [&](std::string_view cluster) {
        seen.emplace_back(cluster);
        return seen.size() < 3;
    });
    EXPECT_EQ(seen, (std::vector<std::string> {"a", "b", kFamily}));
}

TEST(Graphemes, NestedIterationAndThreadsDoNotDisturbEachOther)
{
    // A callback that iterates again on the same thread must not reset the
    // outer iteration.
    std::vector<std::size_t> inner;
    forEachGrapheme("e\u0301" + kFamily + "o\u0308", [&](std::string_view cluster) {
        inner.push_back(graphemeCount(std::string(cluster) + "a\u0301b"));
        return true;
    });
    EXPECT_EQ(inner, (std::vector<std::size_t> {3, 3, 3}));

    const std::string sample = "Re\u0301sume\u0301 " + kFamily + kFrance + kGermany;
    const std::size_t expected = graphemeCount(sample);
    std::atomic<int> wrong {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                if (graphemeCount(sample) != expected || truncateToBytes(sample, 9) != "Re\u0301sum") {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Truncation, NeverSplitsACharacter)
{
    struct Case {
        std::string input;
        std::size_t maxBytes;
        std::string expected;
    };
    const Case cases[] = {
        {"abc", 0, ""},
        {"abc", 2, "ab"},
        {"abc", 3, "abc"},
        {"abc", 100, "abc"},
        {"", 0, ""},
        {"a\r\nb", 2, "a"},
        {"a\r\nb", 3, "a\r\n"},
        {"a\u00E9", 2, "a"},  // budget ends inside the two bytes of é
        {"\u00E9", 1, ""},
        {"e\u0301x", 2, ""},  // budget ends inside the combining mark
        {"e\u0301x", 3, "e\u0301"},
        {"Cafe\u0301", 4, "Caf"},  // the base letter stays with its mark
        {"x" + kFamily, 10, "x"},
        {"x" + kFamily, 1 + kFamily.size() - 1, "x"},
        {"x" + kFamily, 1 + kFamily.size(), "x" + kFamily},
        {kFrance + kGermany, 12, kFrance},
        {kFrance + kGermany, 7, ""},
        {"a\0b"s, 2, "a\0"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input) + " to " + std::to_string(c.maxBytes));
        const std::string result = truncateToBytes(c.input, c.maxBytes);
        EXPECT_EQ(result, c.expected);
        EXPECT_LE(result.size(), c.maxBytes);
    }
}

}  // namespace
}  // namespace tess::text
