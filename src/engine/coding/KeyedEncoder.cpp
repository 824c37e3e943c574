#include "coding/KeyedEncoder.h"

namespace tess {

void KeyedEncoder::encode(const std::string& key, PlistValue value)
{
    m_dictionary.insert_or_assign(key, std::move(value));
}

}  // namespace tess
