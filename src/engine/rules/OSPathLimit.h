#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tess {

// A path or name limit of a client system: hard, or a default that the
// system can raise up to a hard maximum.
//
// Coded form: a keyed container with exactly one key naming the case,
// {"hardLimit": {"_0": n}} or {"overridableDefault": {"default": d, "hardMax": h}}.
class OSPathLimit {
public:
    enum class Kind { hardLimit,
        overridableDefault };

    static OSPathLimit hardLimit(std::int64_t value);
    static OSPathLimit overridableDefault(std::int64_t defaultValue, std::int64_t hardMax);

    Kind kind() const { return m_kind; }
    // The value of a hard limit, or the default of an overridable one.
    std::int64_t defaultValue() const { return m_default; }
    // The value of a hard limit, or the hard maximum of an overridable one.
    std::int64_t hardMax() const { return m_hardMax; }

    // Nothing for an empty list; else with D the smallest defaultValue and H
    // the smallest hardMax: overridableDefault(D, H) when D < H, else hardLimit(H).
    static std::optional<OSPathLimit> smallest(const std::vector<OSPathLimit>& limits);

    PlistValue encode() const;
    // typeMismatch "Invalid number of keys found, expected one." when the
    // container does not hold exactly one key.
    static Result<OSPathLimit> decode(const PlistValue& value);

    friend bool operator==(const OSPathLimit&, const OSPathLimit&) = default;

private:
    OSPathLimit(Kind kind, std::int64_t defaultValue, std::int64_t hardMax)
        : m_kind(kind)
        , m_default(defaultValue)
        , m_hardMax(hardMax)
    {
    }

    Kind m_kind;
    std::int64_t m_default;
    std::int64_t m_hardMax;
};

}  // namespace tess
