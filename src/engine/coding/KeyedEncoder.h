#pragma once

// Builds a keyed container (a property-list dictionary).

#include "plist/PlistValue.h"

#include <optional>
#include <string>
#include <utility>

namespace tess {

class KeyedEncoder {
public:
    void encode(const std::string& key, PlistValue value);

    template <class T>
    void encodeIfPresent(const std::string& key, const std::optional<T>& value)
    {
        if (value) {
            encode(key, PlistValue(*value));
        }
    }

    // The finished dictionary value.
    PlistValue take() { return PlistValue(std::move(m_dictionary)); }

private:
    PlistValue::Dictionary m_dictionary;
};

}  // namespace tess
