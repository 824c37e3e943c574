#include "ui/issuelist/PathDiff.h"

#include "text/CharacterWalk.h"
#include "text/Text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>

namespace tess {
namespace {

constexpr std::string_view kBox = "\u25A1";

// What a path is compared and shown in: each scalar of its valid runs, and
// each byte of an invalid sequence as one unit of its own (a value past the
// last scalar, so that it equals no scalar), with the offset of each in the
// path's display text (text::displayPath, where such a byte is "\xhh"),
// followed by the length of that text.
struct Scalars {
    std::u32string values;
    std::vector<std::size_t> offsets;
};

constexpr char32_t kByteUnit = 0x110000;
constexpr std::size_t kByteEscapeLength = 4;  // "\xhh"

Scalars decode(std::string_view s)
{
    Scalars out;
    out.values.reserve(s.size());
    out.offsets.reserve(s.size() + 1);
    std::size_t shown = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t length = lead < 0x80 ? 1 : text::sequenceLengthAt(s.substr(i));
        out.offsets.push_back(shown);
        if (length == 0) {
            out.values.push_back(kByteUnit + lead);
            shown += kByteEscapeLength;
            ++i;
            continue;
        }
        char32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        out.values.push_back(cp);
        shown += length;
        i += length;
    }
    out.offsets.push_back(shown);
    return out;
}

// A unit's description: a scalar's, or the escape of a byte that is not
// UTF-8.
std::string describeUnit(char32_t unit)
{
    if (unit < kByteUnit) {
        return describeScalar(unit);
    }
    return text::displayPath(std::string(1, static_cast<char>(unit - kByteUnit))) + " (not UTF-8)";
}

// Myers' difference in linear space: marks the removed scalars of `a` and
// the inserted scalars of `b` of a shortest edit script, splitting the
// problem at the middle snake and recursing on both halves.
class Differ {
public:
    Differ(const std::u32string& a, const std::u32string& b, std::vector<bool>& removed, std::vector<bool>& inserted)
        : m_a(a)
        , m_b(b)
        , m_removed(removed)
        , m_inserted(inserted)
        , m_forward(a.size() + b.size() + 3)
        , m_backward(a.size() + b.size() + 3)
    {
    }

    void run() { diff(0, m_a.size(), 0, m_b.size()); }

private:
    void diff(std::size_t aLo, std::size_t aHi, std::size_t bLo, std::size_t bHi)
    {
        while (aLo < aHi && bLo < bHi && m_a[aLo] == m_b[bLo]) {
            ++aLo;
            ++bLo;
        }
        while (aLo < aHi && bLo < bHi && m_a[aHi - 1] == m_b[bHi - 1]) {
            --aHi;
            --bHi;
        }
        if (aLo == aHi) {
            std::fill(m_inserted.begin() + static_cast<std::ptrdiff_t>(bLo), m_inserted.begin() + static_cast<std::ptrdiff_t>(bHi), true);
            return;
        }
        if (bLo == bHi) {
            std::fill(m_removed.begin() + static_cast<std::ptrdiff_t>(aLo), m_removed.begin() + static_cast<std::ptrdiff_t>(aHi), true);
            return;
        }
        // Both sides are non-empty and differ at both ends, so the distance
        // is at least 2 and each half of the split is strictly cheaper.
        auto [x, y] = split(aLo, aHi, bLo, bHi);
        diff(aLo, x, bLo, y);
        diff(x, aHi, y, bHi);
    }

    // A point of an optimal path where the forward and the backward search
    // meet (the middle snake), in absolute positions.
    std::pair<std::size_t, std::size_t> split(std::size_t aLo, std::size_t aHi, std::size_t bLo, std::size_t bHi)
    {
        const auto n = static_cast<std::ptrdiff_t>(aHi - aLo);
        const auto m = static_cast<std::ptrdiff_t>(bHi - bLo);
        const std::ptrdiff_t delta = n - m;
        const bool odd = (delta & 1) != 0;
        const std::ptrdiff_t maxD = (n + m + 1) / 2;
        const std::ptrdiff_t offset = maxD + 1;
        auto f = [&](std::ptrdiff_t k) -> std::ptrdiff_t& { return m_forward[static_cast<std::size_t>(k + offset)]; };
        auto r = [&](std::ptrdiff_t k) -> std::ptrdiff_t& { return m_backward[static_cast<std::size_t>(k + offset)]; };
        auto a = [&](std::ptrdiff_t i) { return m_a[aLo + static_cast<std::size_t>(i)]; };
        auto b = [&](std::ptrdiff_t j) { return m_b[bLo + static_cast<std::size_t>(j)]; };
        f(1) = 0;
        r(1) = 0;
        for (std::ptrdiff_t d = 0; d <= maxD; ++d) {
            for (std::ptrdiff_t k = -d; k <= d; k += 2) {
                std::ptrdiff_t x = (k == -d || (k != d && f(k - 1) < f(k + 1))) ? f(k + 1) : f(k - 1) + 1;
                std::ptrdiff_t y = x - k;
                while (x < n && y < m && a(x) == b(y)) {
                    ++x;
                    ++y;
                }
                f(k) = x;
                const std::ptrdiff_t kr = delta - k;
                if (odd && kr >= -(d - 1) && kr <= d - 1 && f(k) + r(kr) >= n) {
                    return {aLo + static_cast<std::size_t>(x), bLo + static_cast<std::size_t>(y)};
                }
            }
            for (std::ptrdiff_t k = -d; k <= d; k += 2) {
                // Distances from the ends of both sequences.
                std::ptrdiff_t x = (k == -d || (k != d && r(k - 1) < r(k + 1))) ? r(k + 1) : r(k - 1) + 1;
                std::ptrdiff_t y = x - k;
                while (x < n && y < m && a(n - 1 - x) == b(m - 1 - y)) {
                    ++x;
                    ++y;
                }
                r(k) = x;
                const std::ptrdiff_t kf = delta - k;
                if (!odd && kf >= -d && kf <= d && f(kf) + r(k) >= n) {
                    return {aLo + static_cast<std::size_t>(n - x), bLo + static_cast<std::size_t>(m - y)};
                }
            }
        }
        // Unreachable: the searches meet by d = ceil((n + m) / 2).
        return {aHi, bHi};
    }

    const std::u32string& m_a;
    const std::u32string& m_b;
    std::vector<bool>& m_removed;
    std::vector<bool>& m_inserted;
    std::vector<std::ptrdiff_t> m_forward;
    std::vector<std::ptrdiff_t> m_backward;
};

// The scalars whose offsets lie in `range` (none when absent).
void scalarsIn(const std::optional<ByteRange>& range, const Scalars& scalars, std::vector<char32_t>& into)
{
    into.clear();
    if (!range) {
        return;
    }
    auto first = std::lower_bound(scalars.offsets.begin(), scalars.offsets.end() - 1, range->lower);
    for (auto it = first; it != scalars.offsets.end() - 1 && *it < range->upper; ++it) {
        into.push_back(scalars.values[static_cast<std::size_t>(it - scalars.offsets.begin())]);
    }
}

}  // namespace

PathDiff PathDiff::compute(std::string_view original, std::string_view proposed)
{
    PathDiff diff {text::displayPath(original), text::displayPath(proposed), {}, std::string(original), std::string(proposed)};
    if (original == proposed) {
        return diff;
    }
    const Scalars a = decode(original);
    const Scalars b = decode(proposed);
    const std::size_t n = a.values.size();
    const std::size_t m = b.values.size();
    std::vector<bool> removed(n, false);
    std::vector<bool> inserted(m, false);
    Differ(a.values, b.values, removed, inserted).run();

    std::size_t i = 0;
    std::size_t j = 0;
    std::optional<std::pair<std::size_t, std::size_t>> hunk;
    auto close = [&] {
        PathEdit edit;
        if (hunk->first < i) {
            edit.originalRange = ByteRange {a.offsets[hunk->first], a.offsets[i]};
        }
        if (hunk->second < j) {
            edit.proposedRange = ByteRange {b.offsets[hunk->second], b.offsets[j]};
        }
        diff.edits.push_back(edit);
        hunk.reset();
    };
    while (i < n || j < m) {
        const bool rem = i < n && removed[i];
        const bool ins = j < m && inserted[j];
        if (rem || ins) {
            if (!hunk) {
                hunk = std::pair(i, j);
            }
            i += rem ? 1 : 0;
            j += ins ? 1 : 0;
        } else {
            if (hunk) {
                close();
            }
            ++i;
            ++j;
        }
    }
    if (hunk) {
        close();
    }
    return diff;
}

std::vector<ByteRange> PathDiff::ranges(DiffSide side) const
{
    std::vector<ByteRange> out;
    for (const PathEdit& edit : edits) {
        const std::optional<ByteRange>& range = side == DiffSide::original ? edit.originalRange : edit.proposedRange;
        if (range) {
            out.push_back(*range);
        }
    }
    return out;
}

std::string PathDiff::changeDescription() const
{
    if (edits.empty()) {
        return {};
    }
    const Scalars a = decode(originalBytes);
    const Scalars b = decode(proposedBytes);
    std::string out;
    std::vector<char32_t> oldScalars;
    std::vector<char32_t> newScalars;
    for (const PathEdit& edit : edits) {
        scalarsIn(edit.originalRange, a, oldScalars);
        scalarsIn(edit.proposedRange, b, newScalars);
        if (!out.empty()) {
            out += "\n\n";
        }
        const std::size_t lines = std::max(oldScalars.size(), newScalars.size());
        for (std::size_t k = 0; k < lines; ++k) {
            if (k > 0) {
                out += '\n';
            }
            out += k < oldScalars.size() ? describeUnit(oldScalars[k]) : "\u2014";
            out += " \u2192 ";
            out += k < newScalars.size() ? describeUnit(newScalars[k]) : "\u2014";
        }
    }
    return out;
}

std::string describeScalar(char32_t scalar)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(scalar));
    std::string out(code);
    char name[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_charName(static_cast<UChar32>(scalar), U_UNICODE_CHAR_NAME, name, sizeof name, &status);
    if (U_SUCCESS(status) && length > 0) {
        out += ' ';
        out.append(name, static_cast<std::size_t>(std::min<int32_t>(length, sizeof name - 1)));
    }
    return out;
}

bool showsAsBox(char32_t scalar)
{
    if (scalar < 0x80) {
        return scalar < 0x20 || scalar == 0x7F;
    }
    switch (u_charType(static_cast<UChar32>(scalar))) {
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
        return true;
    default:
        break;
    }
    return scalar == 0x00A0 || scalar == 0x2007 || scalar == 0x202F || scalar == 0x2060
        || (scalar >= 0xFE00 && scalar <= 0xFE0F) || (scalar >= 0xE0100 && scalar <= 0xE01EF);
}

std::vector<PathRun> attributedPath(std::string_view path, std::span<const ByteRange> ranges, bool nameColor)
{
    std::vector<PathRun> runs;
    const std::string valid = text::displayPath(path);
    const std::size_t slash = valid.rfind('/');
    const bool colorsName = nameColor && slash != std::string::npos;
    const std::size_t nameStart = slash + 1;
    const Scalars scalars = decode(valid);
    for (std::size_t i = 0; i < scalars.values.size(); ++i) {
        const std::size_t p = scalars.offsets[i];
        const bool highlighted = std::any_of(ranges.begin(), ranges.end(), [p](const ByteRange& r) { return r.contains(p); });
        const bool named = colorsName && p >= nameStart;
        if (runs.empty() || runs.back().highlighted != highlighted || runs.back().nameColored != named) {
            runs.push_back({{}, highlighted, named});
        }
        if (showsAsBox(scalars.values[i])) {
            runs.back().text += kBox;
        } else {
            runs.back().text.append(valid, p, scalars.offsets[i + 1] - p);
        }
    }
    return runs;
}

}  // namespace tess
