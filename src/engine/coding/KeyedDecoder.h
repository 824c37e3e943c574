#pragma once

// A read view over a keyed container (a property-list dictionary), in the
// manner of a keyed decoding container: required keys fail with keyNotFound,
// optional keys give nothing when absent, a present value of the wrong type
// always fails.

#include "coding/DecodingError.h"
#include "coding/ValueDecoder.h"
#include "core/Error.h"
#include "plist/PlistValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tess {

class KeyedDecoder {
public:
    // typeMismatch when `value` is no dictionary. The decoder refers to
    // `value`, which must outlive it.
    static Result<KeyedDecoder> container(const PlistValue& value);

    const PlistValue::Dictionary& dictionary() const { return *m_dictionary; }
    bool contains(const std::string& key) const;
    // The value under `key`, or nullptr.
    const PlistValue* find(const std::string& key) const;
    // The value under `key`, or keyNotFound.
    Result<const PlistValue*> require(const std::string& key) const;

    Result<std::string> decodeString(const std::string& key) const;
    Result<bool> decodeBool(const std::string& key) const;
    Result<std::int64_t> decodeInt64(const std::string& key) const;
    Result<std::optional<std::string>> decodeStringIfPresent(const std::string& key) const;
    Result<std::optional<bool>> decodeBoolIfPresent(const std::string& key) const;
    Result<std::optional<std::int64_t>> decodeInt64IfPresent(const std::string& key) const;
    Result<KeyedDecoder> nestedContainer(const std::string& key) const;

    // Required value decoded by `fn` (const PlistValue& -> Result<T>).
    template <class T, class Fn>
    Result<T> decode(const std::string& key, Fn fn) const
    {
        auto value = require(key);
        if (!value.ok()) {
            return value.error();
        }
        return fn(**value);
    }

    // Optional value decoded by `fn`; nothing when the key is absent.
    template <class T, class Fn>
    Result<std::optional<T>> decodeIfPresent(const std::string& key, Fn fn) const
    {
        const PlistValue* value = find(key);
        if (value == nullptr) {
            return std::optional<T>();
        }
        Result<T> decoded = fn(*value);
        if (!decoded.ok()) {
            return decoded.error();
        }
        return std::optional<T>(std::move(decoded).value());
    }

private:
    explicit KeyedDecoder(const PlistValue::Dictionary& dictionary)
        : m_dictionary(&dictionary)
    {
    }

    const PlistValue::Dictionary* m_dictionary;
};

}  // namespace tess
