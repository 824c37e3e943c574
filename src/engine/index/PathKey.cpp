#include "index/PathKey.h"

#include "text/Text.h"

namespace tess {

std::string pathKey(std::string_view path)
{
    if (text::isAscii(path)) {
        return std::string(path);
    }
    if (text::isValidUtf8(path)) {
        return text::nfc(path);
    }
    std::string key;
    key.reserve(path.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view component = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (text::isValidUtf8(component)) {
            key += text::nfc(component);
        } else {
            key += component;
        }
        if (slash == std::string_view::npos) {
            break;
        }
        key.push_back('/');
        start = slash + 1;
    }
    return key;
}

}  // namespace tess
