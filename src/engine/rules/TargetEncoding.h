#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace tess {

// The four name encodings. The raw value is the stored form and the text
// shown for it.
class TargetEncoding {
public:
    enum Value : std::uint8_t {
        asciiOnly,  // "ASCII"
        utf8Basic,  // "UTF-8 Basic"
        utf8Full,  // "UTF-8 Full"
        utf8FullNFC,  // "UTF-8 Full (NFC)"
    };

    constexpr TargetEncoding(Value value)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    std::string_view rawValue() const;
    // Exact, case-sensitive match of a raw value; nothing otherwise.
    static std::optional<TargetEncoding> fromRawValue(std::string_view raw);
    // All cases in declaration order.
    static const std::array<TargetEncoding, 4>& allCases();

    PlistValue encode() const;
    // dataCorrupted for a string that is no raw value.
    static Result<TargetEncoding> decode(const PlistValue& value);

private:
    Value m_value;
};

}  // namespace tess

template <>
struct std::hash<tess::TargetEncoding> {
    std::size_t operator()(tess::TargetEncoding e) const noexcept { return static_cast<std::size_t>(e); }
};
