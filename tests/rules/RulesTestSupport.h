#pragma once

#include "rules/RuleTypes.h"
#include "rules/TranslationEntry.h"
#include "text/Text.h"

#include <string>
#include <utility>
#include <vector>

namespace tess::test {

using Pairs = std::vector<std::pair<std::string, std::string>>;

inline Pairs pairsOf(const std::vector<TranslationEntry>& entries)
{
    Pairs out;
    for (const TranslationEntry& e : entries) {
        out.emplace_back(e.from, e.to);
    }
    return out;
}

// Each character of `characters` (ASCII) paired with `to`.
inline Pairs each(std::string_view characters, const std::string& to = "_")
{
    Pairs out;
    for (char c : characters) {
        out.emplace_back(std::string(1, c), to);
    }
    return out;
}

inline Pairs concat(Pairs a, const Pairs& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The members of a code-point set outside the control set, as UTF-8.
std::string nonControlMembers(const CodePointSet& set);

std::vector<std::string> members(const CanonicalStringSet& set);

}  // namespace tess::test
