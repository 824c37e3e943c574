#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"
#include "rules/TranslationEntry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// GNU dialects of C++ predefine `linux` as 1; the enumerator below needs the
// name (portable code tests __linux__ instead).
#ifdef linux
#undef linux
#endif

namespace tess {

struct OSCapabilities;

// The client operating systems that will read the renamed tree.
class OSPreset {
public:
    enum Value : std::uint8_t {
        windows,  // "Windows"
        macOS,  // "macOS"
        linux,  // "Linux"
    };

    constexpr OSPreset(Value value)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    std::string_view rawValue() const;
    static std::optional<OSPreset> fromRawValue(std::string_view raw);
    static const std::array<OSPreset, 3>& allCases();

    OSCapabilities capabilities() const;
    // Entries (each to "_") merged in for this system by the derivation.
    const std::vector<TranslationEntry>& defaultTranslationEntries() const;

    PlistValue encode() const;
    static Result<OSPreset> decode(const PlistValue& value);

private:
    Value m_value;
};

}  // namespace tess

template <>
struct std::hash<tess::OSPreset> {
    std::size_t operator()(tess::OSPreset p) const noexcept { return static_cast<std::size_t>(p); }
};
