#include "index/PathKey.h"

#include "text/Text.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace tess {

namespace {

// Bytes of a key after which a stored path may differ from it: every byte
// outside ASCII, and the ASCII characters that are the normalised form of a
// character outside ASCII.
constexpr std::array<bool, 256> kMayHideOtherBytes = [] {
    std::array<bool, 256> table {};
    for (std::size_t byte = 0x80; byte < table.size(); ++byte) {
        table[byte] = true;
    }
    table['K'] = true;
    table[';'] = true;
    table['`'] = true;
    return table;
}();

}  // namespace

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

bool keyMayHideOtherBytes(std::string_view key, std::size_t from)
{
    for (std::size_t i = from; i < key.size(); ++i) {
        if (kMayHideOtherBytes[static_cast<unsigned char>(key[i])]) {
            return true;
        }
    }
    return false;
}

TwinKeys::TwinKeys(std::vector<std::string> paths)
    : m_paths(std::move(paths))
{
    std::sort(m_paths.begin(), m_paths.end());
    m_paths.erase(std::unique(m_paths.begin(), m_paths.end()), m_paths.end());
}

TwinKeys TwinKeys::of(const std::vector<FileItem>& items)
{
    // A group of twins holds at least one path that is not its own key; the
    // paths that are keys join their group afterwards.
    std::unordered_map<std::string, std::vector<std::string_view>> groups;
    for (const auto& item : items) {
        if (text::isAscii(item.path) || text::isNfc(item.path)) {
            continue;
        }
        std::string key = pathKey(item.path);
        if (key != item.path) {
            groups[std::move(key)].push_back(item.path);
        }
    }
    if (groups.empty()) {
        return {};
    }
    std::vector<bool> keyLengths;
    for (const auto& [key, twins] : groups) {
        keyLengths.resize(std::max(keyLengths.size(), key.size() + 1));
        keyLengths[key.size()] = true;
    }
    for (const auto& item : items) {
        if (item.path.size() >= keyLengths.size() || !keyLengths[item.path.size()]) {
            continue;
        }
        if (const auto group = groups.find(item.path); group != groups.end()) {
            group->second.push_back(item.path);
        }
    }
    std::vector<std::string> keyedByBytes;
    for (auto& [key, twins] : groups) {
        std::sort(twins.begin(), twins.end());
        twins.erase(std::unique(twins.begin(), twins.end()), twins.end());
        if (twins.size() < 2) {
            continue;
        }
        const std::size_t keeper = owner(twins, key);
        for (std::size_t i = 0; i < twins.size(); ++i) {
            if (i != keeper) {
                keyedByBytes.emplace_back(twins[i]);
            }
        }
    }
    return TwinKeys(std::move(keyedByBytes));
}

std::size_t TwinKeys::owner(const std::vector<std::string_view>& twins, std::string_view key)
{
    std::size_t smallest = 0;
    for (std::size_t i = 0; i < twins.size(); ++i) {
        if (twins[i] == key) {
            return i;
        }
        if (twins[i] < twins[smallest]) {
            smallest = i;
        }
    }
    return smallest;
}

bool TwinKeys::isKeyedByBytes(std::string_view path) const
{
    if (m_paths.empty()) {
        return false;
    }
    const auto found = std::lower_bound(m_paths.begin(), m_paths.end(), path);
    return found != m_paths.end() && *found == path;
}

std::string TwinKeys::keyOf(std::string_view path) const
{
    return isKeyedByBytes(path) ? std::string(path) : pathKey(path);
}

}  // namespace tess
