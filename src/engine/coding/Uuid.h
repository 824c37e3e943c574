#pragma once

// A 128-bit universally unique identifier. Its coded form is its standard
// string form (upper-case hexadecimal in groups 8-4-4-4-12).

#include "core/Error.h"
#include "plist/PlistValue.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

class Uuid {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    // The nil identifier (all zero).
    Uuid() = default;
    explicit Uuid(const Bytes& bytes)
        : m_bytes(bytes)
    {
    }

    // A fresh random (version 4) identifier.
    static Uuid random();
    // Parses the standard form; hexadecimal digits of either case.
    static std::optional<Uuid> fromString(std::string_view text);

    std::string toString() const;
    const Bytes& bytes() const { return m_bytes; }

    PlistValue encode() const;
    // dataCorrupted "Attempted to decode UUID from invalid UUID string." for
    // a string that is no identifier.
    static Result<Uuid> decode(const PlistValue& value);

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    Bytes m_bytes {};
};

}  // namespace tess

template <>
struct std::hash<tess::Uuid> {
    std::size_t operator()(const tess::Uuid& uuid) const noexcept;
};
