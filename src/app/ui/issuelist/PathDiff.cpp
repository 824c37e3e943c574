#include "ui/issuelist/PathDiff.h"

#include "text/Text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>

namespace tess {
namespace {

constexpr std::string_view kBox = "\u25A1";

// The scalars of a valid UTF-8 text and the byte offset of each, followed by
// the end offset.
struct Scalars {
    std::u32string values;
    std::vector<std::size_t> offsets;
};

Scalars decode(std::string_view s)
{
    Scalars out;
    out.values.reserve(s.size());
    out.offsets.reserve(s.size() + 1);
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2
            : lead < 0xF0                                  ? 3
                                                           : 4;
        length = std::min(length, s.size() - i);
        char32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        out.values.push_back(cp);
        out.offsets.push_back(i);
        i += length;
    }
    out.offsets.push_back(s.size());
    return out;
}

std::string validReading(std::string_view s)
{
    return text::isValidUtf8(s) ? std::string(s) : text::toValidUtf8(s);
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
    PathDiff diff {validReading(original), validReading(proposed), {}};
    if (diff.original == diff.proposed) {
        return diff;
    }
    const Scalars a = decode(diff.original);
    const Scalars b = decode(diff.proposed);
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
    const Scalars a = decode(original);
    const Scalars b = decode(proposed);
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
            out += k < oldScalars.size() ? describeScalar(oldScalars[k]) : "\u2014";
            out += " \u2192 ";
            out += k < newScalars.size() ? describeScalar(newScalars[k]) : "\u2014";
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
    const std::string valid = validReading(path);
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
