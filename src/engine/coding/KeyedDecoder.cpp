#include "coding/KeyedDecoder.h"

namespace tess {

Result<KeyedDecoder> KeyedDecoder::container(const PlistValue& value)
{
    auto dictionary = ValueDecoder::decodeDictionary(value);
    if (!dictionary.ok()) {
        return dictionary.error();
    }
    return KeyedDecoder(**dictionary);
}

bool KeyedDecoder::contains(const std::string& key) const
{
    return m_dictionary->find(key) != m_dictionary->end();
}

const PlistValue* KeyedDecoder::find(const std::string& key) const
{
    auto it = m_dictionary->find(key);
    return it == m_dictionary->end() ? nullptr : &it->second;
}

Result<const PlistValue*> KeyedDecoder::require(const std::string& key) const
{
    const PlistValue* value = find(key);
    if (value == nullptr) {
        return DecodingError::keyNotFound(key);
    }
    return value;
}

Result<std::string> KeyedDecoder::decodeString(const std::string& key) const
{
    return decode<std::string>(key, ValueDecoder::decodeString);
}

Result<bool> KeyedDecoder::decodeBool(const std::string& key) const
{
    return decode<bool>(key, ValueDecoder::decodeBool);
}

Result<std::int64_t> KeyedDecoder::decodeInt64(const std::string& key) const
{
    return decode<std::int64_t>(key, ValueDecoder::decodeInt64);
}

Result<std::optional<std::string>> KeyedDecoder::decodeStringIfPresent(const std::string& key) const
{
    return decodeIfPresent<std::string>(key, ValueDecoder::decodeString);
}

Result<std::optional<bool>> KeyedDecoder::decodeBoolIfPresent(const std::string& key) const
{
    return decodeIfPresent<bool>(key, ValueDecoder::decodeBool);
}

Result<std::optional<std::int64_t>> KeyedDecoder::decodeInt64IfPresent(const std::string& key) const
{
    return decodeIfPresent<std::int64_t>(key, ValueDecoder::decodeInt64);
}

Result<KeyedDecoder> KeyedDecoder::nestedContainer(const std::string& key) const
{
    auto value = require(key);
    if (!value.ok()) {
        return value.error();
    }
    return container(**value);
}

}  // namespace tess
