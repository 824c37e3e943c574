#pragma once

#include "core/Concurrency.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

namespace tess {

namespace parallelsort {

// Where the first k elements of the stable merge of the sorted ranges a
// (na elements) and b (nb elements) split: how many of them come from a. An
// element of a goes before an element of b unless the b element is less (as
// std::merge takes them).
template <class It, class Less>
std::size_t mergeSplit(It a, std::size_t na, It b, std::size_t nb, std::size_t k, const Less& less)
{
    std::size_t lo = k > nb ? k - nb : 0;
    std::size_t hi = std::min(k, na);
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (!less(b[static_cast<std::ptrdiff_t>(k - mid - 1)], a[static_cast<std::ptrdiff_t>(mid)])) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// One round of parallelStableSort: pair p merges the sorted parts 2p and
// 2p + 1 of `from` (between `bounds`) into the same places of `to`; a last
// part without partner is moved over as it is.
template <class T, class Less>
void mergeRound(std::vector<T>& from, std::vector<T>& to, const std::vector<std::size_t>& bounds, std::size_t processors,
    const Less& less)
{
    const std::size_t pairs = bounds.size() / 2;
    const std::size_t piecesPerPair = std::max<std::size_t>(1, processors / pairs);
    const auto at = [](std::vector<T>& list, std::size_t offset) { return list.begin() + static_cast<std::ptrdiff_t>(offset); };
    struct Pair {
        std::size_t first, middle, last;
    };
    const auto pairAt = [&](std::size_t pair) {
        const std::size_t middle = bounds[2 * pair + 1];
        return Pair {bounds[2 * pair], middle, 2 * pair + 2 < bounds.size() ? bounds[2 * pair + 2] : middle};
    };
    // cuts[pair * (piecesPerPair + 1) + piece]: how many of the first k
    // merged elements come from the first part, k at the piece's start.
    std::vector<std::size_t> cuts(pairs * (piecesPerPair + 1));
    parallelFor(cuts.size(), [&](std::size_t index) {
        const Pair pair = pairAt(index / (piecesPerPair + 1));
        const std::size_t k = (pair.last - pair.first) * (index % (piecesPerPair + 1)) / piecesPerPair;
        cuts[index] = mergeSplit(at(from, pair.first), pair.middle - pair.first, at(from, pair.middle), pair.last - pair.middle, k, less);
    });
    parallelFor(pairs * piecesPerPair, [&](std::size_t task) {
        const std::size_t pairIndex = task / piecesPerPair;
        const std::size_t piece = task % piecesPerPair;
        const Pair pair = pairAt(pairIndex);
        const std::size_t kBegin = (pair.last - pair.first) * piece / piecesPerPair;
        const std::size_t kEnd = (pair.last - pair.first) * (piece + 1) / piecesPerPair;
        const std::size_t aBegin = cuts[pairIndex * (piecesPerPair + 1) + piece];
        const std::size_t aEnd = cuts[pairIndex * (piecesPerPair + 1) + piece + 1];
        const auto a = at(from, pair.first);
        const auto b = at(from, pair.middle);
        const auto ptr = [](auto it, std::size_t offset) { return std::make_move_iterator(it + static_cast<std::ptrdiff_t>(offset)); };
        std::merge(ptr(a, aBegin), ptr(a, aEnd), ptr(b, kBegin - aBegin), ptr(b, kEnd - aEnd), at(to, pair.first + kBegin), less);
    });
}

}  // namespace parallelsort

// Stable sort of a large list: parts sorted side by side, then merged
// pairwise round by round, each merge cut into pieces that are merged side by
// side (each merge takes from the earlier part on ties, so the whole stays
// stable). Every cut of a round is found before any piece is merged: a
// merge moves its elements out, and the search for a cut reads elements of
// other pieces.
template <class T, class Less>
void parallelStableSort(std::vector<T>& values, const Less& less)
{
    constexpr std::size_t kMinPartSize = 16384;
    const std::size_t processors = processorCount();
    const std::size_t parts = std::min(processors, values.size() / kMinPartSize);
    if (parts < 2) {
        std::stable_sort(values.begin(), values.end(), less);
        return;
    }
    const std::size_t n = values.size();
    std::vector<std::size_t> bounds;
    for (std::size_t part = 0; part <= parts; ++part) {
        bounds.push_back(n * part / parts);
    }
    const auto at = [](std::vector<T>& list, std::size_t offset) { return list.begin() + static_cast<std::ptrdiff_t>(offset); };
    parallelFor(parts, [&](std::size_t part) { std::stable_sort(at(values, bounds[part]), at(values, bounds[part + 1]), less); });
    std::vector<T> buffer(n);
    std::vector<T>* from = &values;
    std::vector<T>* to = &buffer;
    while (bounds.size() > 2) {
        parallelsort::mergeRound(*from, *to, bounds, processors, less);
        // Every other bound stays; the end (the last bound) always.
        std::vector<std::size_t> merged;
        for (std::size_t i = 0; i < bounds.size(); i += 2) {
            merged.push_back(bounds[i]);
        }
        if (bounds.size() % 2 == 0) {
            merged.push_back(n);
        }
        bounds = std::move(merged);
        std::swap(from, to);
    }
    if (from != &values) {
        values.swap(buffer);
    }
}

}  // namespace tess
