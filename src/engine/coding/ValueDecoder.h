#pragma once

// Decoding of single property-list values (strings, Booleans, integers,
// arrays, raw-value enumerations). Every failure is a typed DecodingError.

#include "coding/DecodingError.h"
#include "core/Error.h"
#include "plist/PlistValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tess {

class ValueDecoder {
public:
    static Result<std::string> decodeString(const PlistValue& value);
    static Result<bool> decodeBool(const PlistValue& value);
    // An integer, or a real number that is exactly a 64-bit integer.
    static Result<std::int64_t> decodeInt64(const PlistValue& value);
    static Result<const PlistValue::Array*> decodeArray(const PlistValue& value);
    static Result<const PlistValue::Dictionary*> decodeDictionary(const PlistValue& value);

    // "a string", "a number", "a boolean", "a date", "data", "an array",
    // "a dictionary": how a found value is named in type mismatches.
    static std::string_view describe(const PlistValue& value);

    // Decodes every element with `fn` (const PlistValue& -> Result<T>); the
    // first failing element fails the whole array.
    template <class T, class Fn>
    static Result<std::vector<T>> decodeArrayOf(const PlistValue& value, Fn fn)
    {
        auto array = decodeArray(value);
        if (!array.ok()) {
            return array.error();
        }
        std::vector<T> out;
        out.reserve((*array)->size());
        for (const PlistValue& element : **array) {
            Result<T> decoded = fn(element);
            if (!decoded.ok()) {
                return decoded.error();
            }
            out.push_back(std::move(decoded).value());
        }
        return out;
    }

    // A string-raw-value enumeration: `fromRaw` (std::string_view ->
    // std::optional<E>) turns a raw value into a case; an unknown raw value is
    // a dataCorrupted error naming `typeName`.
    template <class E, class FromRaw>
    static Result<E> decodeRawValue(const PlistValue& value, std::string_view typeName, FromRaw fromRaw)
    {
        auto raw = decodeString(value);
        if (!raw.ok()) {
            return raw.error();
        }
        std::optional<E> decoded = fromRaw(std::string_view(*raw));
        if (!decoded) {
            return DecodingError::invalidRawValue(typeName, *raw);
        }
        return *decoded;
    }
};

}  // namespace tess
