#pragma once

// Small vocabulary shared by the destination rules.

#include "text/Text.h"

#include <cstdint>
#include <limits>
#include <set>
#include <string>

namespace tess {

// "No limit" for every name, folder-name, depth and path limit.
inline constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();

// A set of Unicode code points (scalar values).
using CodePointSet = std::set<char32_t>;

// A set of texts (names, or characters as one-grapheme strings) in which
// canonically equivalent texts are the same member.
using CanonicalStringSet = std::set<std::string, text::CanonicalLess>;

// Member-wise canonical equality of two such sets (std::set's own == compares
// bytes).
bool canonicallyEqualSets(const CanonicalStringSet& a, const CanonicalStringSet& b);

}  // namespace tess
