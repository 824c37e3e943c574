#include "ui/issuelist/PathDiff.h"
#include "ui/issuelist/StyledPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tess {
namespace {

using namespace std::string_literals;

struct DiffCase {
    std::string original;
    std::string proposed;
    std::vector<PathEdit> edits;
    std::string description;
};

ByteRange r(std::size_t lower, std::size_t upper)
{
    return {lower, upper};
}

TEST(PathDiff, ComputesEditsAndDescribesThem)
{
    const DiffCase cases[] = {
        {"same/path", "same/path", {}, ""},
        {"", "", {}, ""},
        {"a:b", "a_b", {{r(1, 2), r(1, 2)}}, "U+003A COLON \u2192 U+005F LOW LINE"},
        {"ab ", "ab", {{r(2, 3), std::nullopt}}, "U+0020 SPACE \u2192 \u2014"},
        {"a", "a_1", {{std::nullopt, r(1, 3)}}, "\u2014 \u2192 U+005F LOW LINE\n\u2014 \u2192 U+0031 DIGIT ONE"},
        {"a:b/c?d", "a_b/c_d", {{r(1, 2), r(1, 2)}, {r(5, 6), r(5, 6)}},
            "U+003A COLON \u2192 U+005F LOW LINE\n\nU+003F QUESTION MARK \u2192 U+005F LOW LINE"},
        // A two-byte letter: ranges on its byte boundaries.
        {"caf\u00E9.txt", "cafe.txt", {{r(3, 5), r(3, 4)}}, "U+00E9 LATIN SMALL LETTER E WITH ACUTE \u2192 U+0065 LATIN SMALL LETTER E"},
        // A four-byte emoji.
        {"a\U0001F600b", "ab", {{r(1, 5), std::nullopt}}, "U+1F600 GRINNING FACE \u2192 \u2014"},
        // Controls have no name: the code alone.
        {"a\tb", "a b", {{r(1, 2), r(1, 2)}}, "U+0009 \u2192 U+0020 SPACE"},
        {"x\u200Fy", "xy", {{r(1, 4), std::nullopt}}, "U+200F RIGHT-TO-LEFT MARK \u2192 \u2014"},
        {"", "new", {{std::nullopt, r(0, 3)}}, "\u2014 \u2192 U+006E LATIN SMALL LETTER N\n\u2014 \u2192 U+0065 LATIN SMALL LETTER E\n\u2014 \u2192 U+0077 LATIN SMALL LETTER W"},
        // Old and new scalars pair by position within one edit.
        {"a<>b", "a_b", {{r(1, 3), r(1, 2)}}, "U+003C LESS-THAN SIGN \u2192 U+005F LOW LINE\nU+003E GREATER-THAN SIGN \u2192 \u2014"},
        // A byte that is not UTF-8 is one unit, shown as \xhh (four bytes of
        // the shown text) and equal to no scalar.
        {"a\xFF"
         "b",
            "a_b", {{r(1, 5), r(1, 2)}}, "\\xff (not UTF-8) \u2192 U+005F LOW LINE"},
        {"a\x81", "a", {{r(1, 5), std::nullopt}}, "\\x81 (not UTF-8) \u2192 \u2014"},
        // A twin beside a valid caf\u00E9.txt, numbered: the byte and the
        // letter it became are told apart.
        {"twin/caf\xe9.txt", "twin/caf\u00E9_1.txt", {{r(8, 12), r(8, 12)}},
            "\\xe9 (not UTF-8) \u2192 U+00E9 LATIN SMALL LETTER E WITH ACUTE\n\u2014 \u2192 U+005F LOW LINE\n\u2014 \u2192 U+0031 DIGIT ONE"},
        // A re-encoding is a change, not "X -> X".
        {"legacy/caf\xe9.txt", "legacy/caf\u00E9.txt", {{r(10, 14), r(10, 12)}},
            "\\xe9 (not UTF-8) \u2192 U+00E9 LATIN SMALL LETTER E WITH ACUTE"},
    };
    for (const DiffCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.original) + " -> " + testing::PrintToString(c.proposed));
        const PathDiff diff = PathDiff::compute(c.original, c.proposed);
        EXPECT_EQ(diff.edits, c.edits);
        EXPECT_EQ(diff.changeDescription(), c.description);
    }
}

TEST(PathDiff, RangesReferToThePathsAsShown)
{
    const PathDiff diff = PathDiff::compute("dir/\xE9t\xE9", "dir/ete");
    EXPECT_EQ(diff.original, "dir/\\xe9t\\xe9");
    EXPECT_EQ(diff.proposed, "dir/ete");
    EXPECT_EQ(diff.originalBytes, "dir/\xE9t\xE9");
    EXPECT_EQ(diff.ranges(DiffSide::original), (std::vector<ByteRange> {r(4, 8), r(9, 13)}));
    EXPECT_EQ(diff.ranges(DiffSide::proposed), (std::vector<ByteRange> {r(4, 5), r(6, 7)}));
    // The shown original with its marks: each escape marked whole.
    EXPECT_EQ(attributedPath(diff.originalBytes, diff.ranges(DiffSide::original), true),
        (std::vector<PathRun> {{"dir/", false, false}, {"\\xe9", true, true}, {"t", false, true}, {"\\xe9", true, true}}));
}

// The scalars of valid UTF-8 text.
std::u32string scalars(std::string_view s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2
            : lead < 0xF0                                        ? 3
                                                                 : 4;
        char32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        out.push_back(cp);
        i += length;
    }
    return out;
}

std::size_t lcsLength(const std::u32string& a, const std::u32string& b)
{
    std::vector<std::size_t> row(b.size() + 1, 0);
    for (char32_t ca : a) {
        std::size_t diagonal = 0;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = ca == b[j - 1] ? diagonal + 1 : std::max(row[j], row[j - 1]);
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The units of a shown path whose only backslashes start escapes of bytes
// that are not UTF-8: its scalars, each "\xhh" counting as one.
std::size_t unitCount(std::string_view shown)
{
    return scalars(shown).size() - 3 * static_cast<std::size_t>(std::count(shown.begin(), shown.end(), '\\'));
}

// A boundary of a scalar that is not inside an escape "\xhh".
bool onBoundary(std::string_view s, std::size_t offset)
{
    for (std::size_t escape = s.find('\\'); escape != std::string_view::npos; escape = s.find('\\', escape + 1)) {
        if (offset > escape && offset < escape + 4) {
            return false;
        }
    }
    return offset == s.size() || (offset < s.size() && (static_cast<unsigned char>(s[offset]) & 0xC0) != 0x80);
}

TEST(PathDiff, RandomPairsGetAShortestScriptThatRebuildsTheProposal)
{
    // Each piece is one unit: a scalar, or a byte that is not UTF-8 (none
    // of the pieces starts with a continuation byte).
    const std::string alphabet[] = {"a", "b", "/", "\u00E9", "\U0001F600", "\t", "_", "\xE9", "\xFF"};
    std::mt19937 random(20261210);
    auto pick = [&](std::size_t lo, std::size_t hi) { return std::uniform_int_distribution<std::size_t>(lo, hi)(random); };
    auto join = [&](const std::vector<std::size_t>& tokens) {
        std::string s;
        for (std::size_t t : tokens) {
            s += alphabet[t];
        }
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::size_t> a(pick(0, 14));
        for (std::size_t& t : a) {
            t = pick(0, std::size(alphabet) - 1);
        }
        std::vector<std::size_t> b;
        if (round % 2 == 0) {
            // An edit of the original, so that long common stretches occur.
            b = a;
            for (std::size_t k = pick(0, 4); k > 0; --k) {
                const std::size_t at = pick(0, b.size());
                switch (pick(0, 2)) {
                case 0:
                    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), pick(0, std::size(alphabet) - 1));
                    break;
                case 1:
                    if (at < b.size()) {
                        b.erase(b.begin() + static_cast<std::ptrdiff_t>(at));
                    }
                    break;
                default:
                    if (at < b.size()) {
                        b[at] = pick(0, std::size(alphabet) - 1);
                    }
                    break;
                }
            }
        } else {
            b.resize(pick(0, 14));
            for (std::size_t& t : b) {
                t = pick(0, std::size(alphabet) - 1);
            }
        }
        const std::string original = join(a);
        const std::string proposed = join(b);
        const std::u32string sa(a.begin(), a.end());
        const std::u32string sb(b.begin(), b.end());
        SCOPED_TRACE(testing::PrintToString(original) + " -> " + testing::PrintToString(proposed));
        const PathDiff diff = PathDiff::compute(original, proposed);

        std::size_t removed = 0;
        std::size_t inserted = 0;
        std::string rebuilt;
        std::size_t po = 0;
        std::size_t pp = 0;
        std::size_t previousEnd = 0;
        bool first = true;
        for (const PathEdit& edit : diff.edits) {
            ASSERT_TRUE(edit.originalRange || edit.proposedRange);
            // Where the edit starts on each side: the kept stretch before it
            // has the same bytes on both sides.
            const std::size_t os = edit.originalRange ? edit.originalRange->lower : po + (edit.proposedRange->lower - pp);
            const std::size_t ps = edit.proposedRange ? edit.proposedRange->lower : pp + (edit.originalRange->lower - po);
            const std::size_t oe = edit.originalRange ? edit.originalRange->upper : os;
            const std::size_t pe = edit.proposedRange ? edit.proposedRange->upper : ps;
            for (std::size_t bound : {os, oe}) {
                ASSERT_TRUE(onBoundary(diff.original, bound));
            }
            for (std::size_t bound : {ps, pe}) {
                ASSERT_TRUE(onBoundary(diff.proposed, bound));
            }
            ASSERT_TRUE(!edit.originalRange || os < oe);
            ASSERT_TRUE(!edit.proposedRange || ps < pe);
            // Edits are maximal: a kept scalar separates neighbours.
            ASSERT_TRUE(first || os > previousEnd);
            ASSERT_EQ(diff.original.substr(po, os - po), diff.proposed.substr(pp, ps - pp));
            rebuilt += diff.original.substr(po, os - po);
            rebuilt += diff.proposed.substr(ps, pe - ps);
            removed += unitCount(diff.original.substr(os, oe - os));
            inserted += unitCount(diff.proposed.substr(ps, pe - ps));
            po = oe;
            pp = pe;
            previousEnd = oe;
            first = false;
        }
        rebuilt += diff.original.substr(po);
        EXPECT_EQ(rebuilt, diff.proposed);
        EXPECT_EQ(removed + inserted, sa.size() + sb.size() - 2 * lcsLength(sa, sb));
        EXPECT_EQ(diff.edits.empty(), sa == sb);
    }
}

TEST(PathDiff, LongPathsWithManyChangesStayExact)
{
    std::string original;
    std::string proposed;
    for (int i = 0; i < 400; ++i) {
        original += i % 3 == 0 ? "\u00E9" : "ab";
        proposed += i % 3 == 0 ? "e" : "ab";
    }
    const PathDiff diff = PathDiff::compute(original, proposed);
    EXPECT_EQ(diff.edits.size(), 134u);
    std::size_t removed = 0;
    for (const ByteRange& range : diff.ranges(DiffSide::original)) {
        removed += range.upper - range.lower;
    }
    EXPECT_EQ(removed, 134u * 2);
}

struct RunCase {
    std::string path;
    std::vector<ByteRange> ranges;
    bool nameColor;
    std::vector<PathRun> runs;
};

TEST(PathDiff, AttributedPathMarksHiddenCharactersRangesAndTheName)
{
    const RunCase cases[] = {
        {"", {}, true, {}},
        // Markup and ampersands are text.
        {"<b>x</b>", {}, false, {{"<b>x</b>", false, false}}},
        {"dir/a&b", {}, true, {{"dir/", false, false}, {"a&b", false, true}}},
        // No "/": no name colour.
        {"top.txt", {}, true, {{"top.txt", false, false}}},
        {"a/b/c", {}, true, {{"a/b/", false, false}, {"c", false, true}}},
        {"dir/", {}, true, {{"dir/", false, false}}},
        // Hidden characters show as boxes, highlighted where changed.
        {"a\tb", {r(1, 2)}, false, {{"a", false, false}, {"\u25A1", true, false}, {"b", false, false}}},
        {"x\u200By\u200Fz", {}, false, {{"x\u25A1y\u25A1z", false, false}}},
        {"\u00A0\u2007\u202F\u2060\uFE0F\U000E0100\u2028\u2029\x7F"s, {}, false,
            {{"\u25A1\u25A1\u25A1\u25A1\u25A1\u25A1\u25A1\u25A1\u25A1", false, false}}},
        {"a b\u00E9", {}, false, {{"a b\u00E9", false, false}}},
        // Ranges in bytes: the emoji is highlighted whole.
        {"a\U0001F600b", {r(1, 5)}, false, {{"a", false, false}, {"\U0001F600", true, false}, {"b", false, false}}},
        {"\U0001F600/\U0001F600", {r(5, 9)}, true, {{"\U0001F600/", false, false}, {"\U0001F600", true, true}}},
        // A byte that is not UTF-8 shows as \xhh.
        {"n\xE4me/\x80", {}, true, {{"n\\xe4me/", false, false}, {"\\x80", false, true}}},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        EXPECT_EQ(attributedPath(c.path, c.ranges, c.nameColor), c.runs);
    }
}

TEST(PathDiff, EqualPathsHaveNoMarks)
{
    const PathDiff diff = PathDiff::compute("dir/a\tb", "dir/a\tb");
    EXPECT_TRUE(diff.edits.empty());
    EXPECT_EQ(diff.changeDescription(), "");
    const std::vector<PathRun> runs = attributedPath(diff.original, diff.ranges(DiffSide::original), false);
    EXPECT_EQ(runs, (std::vector<PathRun> {{"dir/a\u25A1b", false, false}}));
}

TEST(StyledPath, SplitsAfterTheLastSlashAndRebasesRanges)
{
    struct Case {
        std::string path;
        std::vector<ByteRange> ranges;
        StyledPathParts parts;
    };
    const Case cases[] = {
        {"file:1", {r(4, 5)}, {false, "", {}, "file:1", {r(4, 5)}}},
        {"dir/sub/na:me", {r(10, 11)}, {true, "dir/sub/", {}, "na:me", {r(2, 3)}}},
        {"d:r/x", {r(1, 2)}, {true, "d:r/", {r(1, 2)}, "x", {}}},
        // A range across the split is clipped into both parts.
        {"a/b", {r(0, 3)}, {true, "a/", {r(0, 2)}, "b", {r(0, 1)}}},
        {"dir/", {r(3, 4)}, {true, "dir/", {r(3, 4)}, "", {}}},
        {"\U0001F600\u00E9/\u00E9x", {r(4, 6), r(7, 9)}, {true, "\U0001F600\u00E9/", {r(4, 6)}, "\u00E9x", {r(0, 2)}}},
        {"", {}, {false, "", {}, "", {}}},
        {"bad\xFF/\xFF", {r(8, 12)}, {true, "bad\\xff/", {}, "\\xff", {r(0, 4)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        EXPECT_EQ(splitStyledPath(c.path, c.ranges), c.parts);
    }
}

}  // namespace
}  // namespace tess
