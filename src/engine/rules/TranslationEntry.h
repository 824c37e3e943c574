#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"

#include <cstddef>
#include <functional>
#include <string>

namespace tess {

// One substitution: replace `from` (normally one character, possibly more)
// by `to` (empty deletes). Equality and hashing treat canonically equivalent
// texts as equal.
struct TranslationEntry {
    std::string from;
    std::string to;

    // Keyed container {"from", "to"}, both required.
    PlistValue encode() const;
    static Result<TranslationEntry> decode(const PlistValue& value);

    friend bool operator==(const TranslationEntry& a, const TranslationEntry& b);
};

}  // namespace tess

template <>
struct std::hash<tess::TranslationEntry> {
    std::size_t operator()(const tess::TranslationEntry& entry) const noexcept;
};
