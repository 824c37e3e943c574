#pragma once

#include <optional>
#include <string_view>

namespace tess {

// The case of an enumeration type E whose raw value is `raw`, for types that
// list their cases with `E::allCases()` and name them with `rawValue()`.
template <class E>
std::optional<E> caseWithRawValue(std::string_view raw)
{
    for (const E value : E::allCases()) {
        if (value.rawValue() == raw) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace tess
