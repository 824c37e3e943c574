#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// A half-open range of UTF-8 byte offsets; both bounds lie on scalar
// boundaries.
struct ByteRange {
    std::size_t lower = 0;
    std::size_t upper = 0;

    bool contains(std::size_t position) const { return lower <= position && position < upper; }
    friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

// One maximal stretch of removed and inserted scalars between two kept ones.
// A range is present exactly when it is non-empty.
struct PathEdit {
    std::optional<ByteRange> originalRange;
    std::optional<ByteRange> proposedRange;

    friend bool operator==(const PathEdit&, const PathEdit&) = default;
};

enum class DiffSide {
    original,
    proposed,
};

// The difference of a current and a proposed path, scalar by scalar: a
// shortest edit script (Myers), grouped into edits in path order. In a path
// that is not valid UTF-8 each byte of an invalid sequence is one unit of
// its own, equal to no scalar, shown as "\xhh"; `original`, `proposed` and
// every range refer to the paths as shown (text::displayPath), so such a
// byte is marked whole and a re-encoded name is a change.
struct PathDiff {
    std::string original;
    std::string proposed;
    std::vector<PathEdit> edits;
    // The paths as given.
    std::string originalBytes;
    std::string proposedBytes;

    static PathDiff compute(std::string_view original, std::string_view proposed);

    // The present ranges of one side, in edit order.
    std::vector<ByteRange> ranges(DiffSide side) const;

    // For each edit a block of lines "old → new", old and new scalars paired
    // by position, "—" where one side has no scalar left; blocks joined by an
    // empty line. Empty when there are no edits. A byte that is not UTF-8 is
    // described as "\xhh (not UTF-8)".
    std::string changeDescription() const;
};

// "U+%04X" and, when the scalar has one, a blank and its Unicode name.
std::string describeScalar(char32_t scalar);

// Whether a scalar is shown as "□": line and paragraph separators, controls,
// format characters, the non-breaking and zero-width blanks and variation
// selectors.
bool showsAsBox(char32_t scalar);

// A run of shown text with one look. Runs in path order; neighbours differ
// in look.
struct PathRun {
    std::string text;
    bool highlighted = false;  // lies in one of the given ranges
    bool nameColored = false;  // lies in the name after the last "/"

    friend bool operator==(const PathRun&, const PathRun&) = default;
};

// A path as shown (text::displayPath): each scalar as itself or as "□", marked as highlighted
// when its offset lies in one of `ranges`, and, with `nameColor`, as part of
// the name when the path has a "/" and the scalar stands after the last one.
std::vector<PathRun> attributedPath(std::string_view path, std::span<const ByteRange> ranges, bool nameColor);

}  // namespace tess
