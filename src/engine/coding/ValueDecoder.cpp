#include "coding/ValueDecoder.h"

#include <cmath>
#include <cstdio>

namespace tess {

std::string_view ValueDecoder::describe(const PlistValue& value)
{
    switch (value.type()) {
    case PlistValue::Type::boolean:
        return "a boolean";
    case PlistValue::Type::integer:
    case PlistValue::Type::real:
        return "a number";
    case PlistValue::Type::string:
        return "a string";
    case PlistValue::Type::date:
        return "a date";
    case PlistValue::Type::data:
        return "data";
    case PlistValue::Type::array:
        return "an array";
    case PlistValue::Type::dictionary:
        return "a dictionary";
    }
    return "a value";
}

Result<std::string> ValueDecoder::decodeString(const PlistValue& value)
{
    if (const std::string* s = value.asString()) {
        return *s;
    }
    return DecodingError::typeMismatch("String", describe(value));
}

Result<bool> ValueDecoder::decodeBool(const PlistValue& value)
{
    if (const bool* b = value.asBool()) {
        return *b;
    }
    return DecodingError::typeMismatch("Bool", describe(value));
}

Result<std::int64_t> ValueDecoder::decodeInt64(const PlistValue& value)
{
    if (const std::int64_t* i = value.asInteger()) {
        return *i;
    }
    if (const double* d = value.asReal()) {
        // 2^63 is exactly representable; [-2^63, 2^63) fits.
        constexpr double kLimit = 9223372036854775808.0;
        if (std::isfinite(*d) && std::trunc(*d) == *d && *d >= -kLimit && *d < kLimit) {
            return static_cast<std::int64_t>(*d);
        }
        char text[64];
        std::snprintf(text, sizeof text, "%g", *d);
        return DecodingError::dataCorrupted(std::string("Parsed property list number <") + text + "> does not fit in Int.");
    }
    return DecodingError::typeMismatch("Int", describe(value));
}

Result<const PlistValue::Array*> ValueDecoder::decodeArray(const PlistValue& value)
{
    if (const PlistValue::Array* a = value.asArray()) {
        return a;
    }
    return DecodingError::typeMismatch("Array<Any>", describe(value));
}

Result<const PlistValue::Dictionary*> ValueDecoder::decodeDictionary(const PlistValue& value)
{
    if (const PlistValue::Dictionary* d = value.asDictionary()) {
        return d;
    }
    return DecodingError::typeMismatch("Dictionary<String, Any>", describe(value));
}

}  // namespace tess
