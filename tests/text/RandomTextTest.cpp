#include "text/Text.h"

#include <gtest/gtest.h>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace tess::text {
namespace {

using namespace std::string_literals;

// Clusters as ICU finds them on UTF-16 text, without any fast path.
std::vector<std::string> referenceClusters(const std::string& utf8)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    iterator->setText(text);
    std::vector<std::string> out;
    int32_t start = iterator->first();
    for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; end = iterator->next()) {
        std::string cluster;
        text.tempSubStringBetween(start, end).toUTF8String(cluster);
        out.push_back(cluster);
        start = end;
    }
    return out;
}

// Seeded random names built from pieces that meet every grapheme rule next
// to ASCII: CR LF, controls, marks, joiners, emoji, flags, jamo, prepend.
std::string randomName(std::mt19937& random)
{
    static const std::string pieces[] = {
        "a",
        "Z",
        ".",
        " ",
        "\r",
        "\n",
        "\0"s,
        "\t",
        "\u0301",
        "\u0308",
        "\u00E9",
        "\u200D",
        "\uFE0F",
        "\U0001F468",
        "\U0001F469",
        "\U0001F1EB",
        "\U0001F1F7",
        "\u1100",
        "\u1161",
        "\u11A8",
        "\uAC00",
        "\u0600",
        "\u0915\u094D",
        "\u0E33",
        "\u00AD",
        "\U0001F3FD",
        "1",
        "\u20E3",
    };
    std::uniform_int_distribution<std::size_t> length(0, 12);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::string name;
    for (std::size_t i = length(random); i > 0; --i) {
        name += pieces[pick(random)];
    }
    return name;
}

TEST(RandomText, FastPathsAgreeWithPlainIcu)
{
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        const std::string name = randomName(random);
        SCOPED_TRACE(testing::PrintToString(name));
        std::vector<std::string> clusters;
        forEachGrapheme(name, [&](std::string_view cluster) {
            clusters.emplace_back(cluster);
            return true;
        });
        const std::vector<std::string> expected = referenceClusters(name);
        ASSERT_EQ(clusters, expected);

        // Truncation keeps the longest run of whole clusters within budget.
        std::vector<std::size_t> boundaries {0};
        for (const std::string& cluster : expected) {
            boundaries.push_back(boundaries.back() + cluster.size());
        }
        for (std::size_t budget = 0; budget <= name.size(); ++budget) {
            std::size_t best = 0;
            for (std::size_t b : boundaries) {
                if (b <= budget) {
                    best = b;
                }
            }
            ASSERT_EQ(truncateToBytes(name, budget), name.substr(0, best)) << "budget " << budget;
        }

        const std::string composed = nfc(name);
        const std::string decomposed = nfd(name);
        ASSERT_TRUE(canonicallyEqual(composed, decomposed));
        ASSERT_EQ(canonicalHash(name), canonicalHash(decomposed));
        ASSERT_EQ(canonicalHash(name), std::hash<std::string_view> {}(composed));
        ASSERT_EQ(isNfc(name), composed == name);
    }
}

}  // namespace
}  // namespace tess::text
