#include "plist/PlistValue.h"

namespace tess {

const PlistValue* PlistValue::find(const std::string& key) const
{
    const Dictionary* dictionary = asDictionary();
    if (!dictionary) {
        return nullptr;
    }
    auto it = dictionary->find(key);
    return it == dictionary->end() ? nullptr : &it->second;
}

}  // namespace tess
