#include "analysis/TooDeepFolders.h"

#include "text/Text.h"

namespace tess {

bool TooDeepFolders::add(std::string_view path)
{
    std::string key = text::isAscii(path) ? std::string(path) : text::nfc(path);
    if (!m_keys.empty()) {
        std::string_view ancestor = key;
        while (true) {
            if (m_keys.find(ancestor) != m_keys.end()) {
                return false;
            }
            const std::size_t slash = ancestor.rfind('/');
            if (slash == std::string_view::npos) {
                break;
            }
            ancestor = ancestor.substr(0, slash);
        }
    }
    m_keys.insert(std::move(key));
    m_paths.emplace(path);
    return true;
}

}  // namespace tess
