#include "analysis/DeferredPropagation.h"

#include "analysis/RelativePath.h"
#include "core/Concurrency.h"
#include "text/Text.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

namespace {

constexpr std::size_t kItemsPerChunk = 500;
constexpr std::size_t kCancelPollInterval = 1000;

// Walks the leading prefixes of a relative path one component at a time.
// Without empty components ("plain") the prefix of the first k + 1 parts is a
// leading piece of the path itself; otherwise it is built from the parts.
class PrefixCursor {
public:
    PrefixCursor(std::string_view source, bool plain)
        : m_source(source)
        , m_plain(plain)
        , m_parts(plain ? std::vector<std::string>() : RelativePath::splitNonEmpty(source))
    {
    }

    // Moves to the prefix of the first k + 1 components (k counts up from
    // 0); false past the last one.
    bool advance(std::size_t k)
    {
        if (m_plain) {
            if (m_end >= m_source.size() && k > 0) {
                return false;
            }
            m_end = k == 0 ? m_source.find('/') : m_source.find('/', m_end + 1);
            if (m_end == std::string_view::npos) {
                m_end = m_source.size();
            }
            m_candidate = m_source.substr(0, m_end);
            m_isLast = m_end == m_source.size();
            return true;
        }
        if (k >= m_parts.size()) {
            return false;
        }
        if (k > 0) {
            m_prefix.push_back('/');
        }
        m_prefix.append(m_parts[k]);
        m_candidate = m_prefix;
        m_isLast = k + 1 == m_parts.size();
        return true;
    }

    std::string_view candidate() const { return m_candidate; }
    // Whether the prefix is the whole path.
    bool isLast() const { return m_isLast; }

private:
    std::string_view m_source;
    bool m_plain;
    std::vector<std::string> m_parts;
    std::string m_prefix;
    std::size_t m_end = 0;
    std::string_view m_candidate;
    bool m_isLast = false;
};

}  // namespace

DeferredPropagation::DeferredPropagation(const PrefixMappings& prefixMappings,
    const SourceFileAnalyzer::CancelCheck& isCancelled)
    : m_prefixMappings(prefixMappings)
    , m_isCancelled(isCancelled)
{
    for (const auto& [prefix, mapped] : m_prefixMappings) {
        std::string key = text::nfc(prefix);
        const std::vector<std::string> parts = RelativePath::splitNonEmpty(key);
        if (!parts.empty()) {
            m_firstComponents.insert(parts.front());
        }
        if (key.size() >= m_keyLengths.size()) {
            m_keyLengths.resize(key.size() + 1, false);
        }
        m_keyLengths[key.size()] = true;
        m_maxKeyComponents = std::max(m_maxKeyComponents, parts.size());
        m_nfcMappings.emplace(std::move(key), mapped);
    }
}

bool DeferredPropagation::run(Phase2Items& items) const
{
    if (m_prefixMappings.empty()) {
        return true;
    }
    const std::size_t n = items.size();
    const std::size_t chunks = std::min(n / kItemsPerChunk, processorCount());
    if (n >= kItemsPerChunk && chunks > 1) {
        const std::size_t chunkSize = (n + chunks - 1) / chunks;
        parallelFor(chunks, [&](std::size_t chunk) { applyPrefixMappings(chunk, chunkSize, items); });
        return true;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= 1 && i % kCancelPollInterval == 0 && m_isCancelled && m_isCancelled()) {
            return false;
        }
        rewrite(items[i]);
    }
    return true;
}

void DeferredPropagation::applyPrefixMappings(std::size_t chunk, std::size_t chunkSize, Phase2Items& items) const
{
    if (m_isCancelled && m_isCancelled()) {
        return;
    }
    const std::size_t n = items.size();
    const std::size_t start = std::min(chunk * chunkSize, n);
    const std::size_t end = std::min(start + chunkSize, n);
    for (std::size_t i = start; i < end; ++i) {
        rewrite(items[i]);
    }
}

void DeferredPropagation::rewrite(Phase2IntermediateItem& item) const
{
    if (item.item->outsideSourceRoot) {
        return;
    }
    const std::string& path = item.preShorteningPath ? *item.preShorteningPath : item.currentPath;
    // Keys and prefixes are compared in NFC; normalisation never reaches
    // across "/", so the prefixes of the NFC path are the NFC prefixes.
    std::string normalized;
    if (!text::isAscii(path)) {
        normalized = text::nfc(path);
    }
    const std::string_view source = normalized.empty() ? std::string_view(path) : std::string_view(normalized);
    // Most items lie outside every shortened folder: look at the first
    // component before splitting anything.
    const std::size_t firstStart = source.find_first_not_of('/');
    if (firstStart == std::string_view::npos) {
        return;
    }
    if (m_firstComponents.find(source.substr(firstStart, source.find('/', firstStart) - firstStart)) == m_firstComponents.end()) {
        return;
    }
    const bool plain = firstStart == 0 && source.find("//") == std::string_view::npos;
    PrefixCursor cursor(source, plain);
    const bool isFile = !item.item->originalFile.isDirectory;
    std::optional<std::vector<std::string>> newParts;
    for (std::size_t k = 0; k < m_maxKeyComponents && cursor.advance(k); ++k) {
        const std::string_view candidate = cursor.candidate();
        if (candidate.size() >= m_keyLengths.size() || !m_keyLengths[candidate.size()]) {
            continue;
        }
        // The keys are folders: a file's own name is never one, even where it
        // is the equivalent twin of a shortened folder's name.
        if (isFile && cursor.isLast()) {
            break;
        }
        const auto found = m_nfcMappings.find(candidate);
        if (found == m_nfcMappings.end()) {
            continue;
        }
        if (!newParts) {
            newParts = RelativePath::splitNonEmpty(item.currentPath);
        }
        // A hit on a position the current path lacks changes nothing.
        if (k >= newParts->size()) {
            continue;
        }
        // The mapped value's last part takes position k; a value without
        // parts keeps the current part.
        const std::vector<std::string> mappedParts = RelativePath::splitNonEmpty(found->second);
        if (!mappedParts.empty()) {
            (*newParts)[k] = mappedParts.back();
        }
    }
    if (newParts) {
        item.currentPath = RelativePath::join(*newParts);
    }
}

}  // namespace tess
