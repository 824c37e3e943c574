#pragma once

// Typed decoding failures of the coded (property-list) forms. A failure is an
// ordinary tess::Error in the domain kDecodingErrorDomain whose code is the
// kind below and whose message is the description text.

#include "core/Error.h"

#include <optional>
#include <string>
#include <string_view>

namespace tess {

inline constexpr const char* kDecodingErrorDomain = "tess.DecodingError";

class DecodingError {
public:
    enum class Kind : std::int64_t {
        typeMismatch = 1,  // a value of another type than expected
        keyNotFound = 2,  // a required key is missing
        dataCorrupted = 3,  // the value has the right type but is not acceptable
    };

    // "Expected to decode <expected> but found <a string|a number|...> instead."
    static Error typeMismatch(std::string_view expectedType, std::string_view foundDescription);
    // A type mismatch with a description of the caller's own.
    static Error typeMismatchDescribed(std::string description);
    // "No value associated with key CodingKeys(stringValue: "<key>", intValue: nil) ("<key>")."
    static Error keyNotFound(std::string_view key);
    static Error dataCorrupted(std::string description);
    // "Cannot initialize <typeName> from invalid String value <raw>"
    static Error invalidRawValue(std::string_view typeName, std::string_view raw);

    static bool isDecodingError(const Error& error);
    // The kind of a decoding error; nothing for any other error.
    static std::optional<Kind> kindOf(const Error& error);
};

}  // namespace tess
