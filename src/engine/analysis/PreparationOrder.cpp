#include "analysis/PreparationOrder.h"

#include "analysis/PerItemPasses.h"
#include "core/Concurrency.h"
#include "core/ParallelSort.h"
#include "text/CharacterWalk.h"
#include "text/Text.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace tess {

namespace {

constexpr std::size_t kItemsPerChunk = 500;

}  // namespace

PreparationOrder::ChunkPlan PreparationOrder::planChunks(std::size_t itemCount, std::size_t cores)
{
    const std::size_t chunks = std::min(itemCount / kItemsPerChunk, cores);
    if (chunks < 2) {
        return ChunkPlan {1, itemCount};
    }
    return ChunkPlan {chunks, (itemCount + chunks - 1) / chunks};
}

namespace {

struct SortKey {
    std::size_t index;
    std::size_t depth;
    bool isDirectory;
    std::string_view path;  // NFC form, compared by bytes (= code point order)
    std::uint64_t head;  // the first 8 bytes of `path`, big-endian, zero-padded
};

// The length of the prefix every key's path shares: the common prefix of
// every chunk, side by side, then the shortest.
std::size_t commonPrefixLength(const std::vector<SortKey>& keys)
{
    std::mutex commonMutex;
    std::size_t common = keys.empty() ? 0 : keys.front().path.size();
    inChunks(keys.size(), kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        if (begin >= end) {
            return;
        }
        const std::string_view first = keys.front().path;
        std::size_t chunkCommon = first.size();
        for (std::size_t i = begin; i < end; ++i) {
            const std::string_view path = keys[i].path;
            const std::size_t limit = std::min(chunkCommon, path.size());
            std::size_t same = 0;
            while (same < limit && first[same] == path[same]) {
                ++same;
            }
            chunkCommon = same;
        }
        const std::lock_guard<std::mutex> lock(commonMutex);
        common = std::min(common, chunkCommon);
    });
    return common;
}

// Drops the shared prefix from every key's path and reads the next 8 bytes
// as one big-endian number, which settles most comparisons.
void setHeads(std::vector<SortKey>& keys, std::size_t common)
{
    inChunks(keys.size(), kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            SortKey& key = keys[i];
            key.path.remove_prefix(common);
            std::uint64_t head = 0;
            for (std::size_t b = 0; b < 8; ++b) {
                head = (head << 8) | (b < key.path.size() ? static_cast<unsigned char>(key.path[b]) : 0U);
            }
            key.head = head;
        }
    });
}

}  // namespace

std::vector<std::size_t> PreparationOrder::sortedOrder(const std::vector<FileItem>& items)
{
    // NFC forms of the paths that are not already in NFC (ASCII never needs
    // one); kept alive for the sort.
    const std::size_t n = items.size();
    std::vector<std::string> normalized(n);
    std::vector<SortKey> keys(n);
    inChunks(n, kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::string& path = items[i].path;
            std::string_view text = path;
            if (!text::isAscii(path) && !text::isNfc(path)) {
                normalized[i] = text::nfc(path);
                text = normalized[i];
            }
            const std::size_t depth = static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
            keys[i] = SortKey {i, depth, items[i].isDirectory, text, 0};
        }
    });
    // All paths share the source root: comparisons start after the common
    // prefix.
    setHeads(keys, commonPrefixLength(keys));
    const auto before = [](const SortKey& a, const SortKey& b) {
        if (a.depth != b.depth) {
            return a.depth < b.depth;
        }
        if (a.isDirectory != b.isDirectory) {
            return a.isDirectory;
        }
        if (a.head != b.head) {
            return a.head < b.head;
        }
        return a.path < b.path;
    };
    parallelStableSort(keys, before);
    std::vector<std::size_t> order;
    order.reserve(keys.size());
    for (const SortKey& key : keys) {
        order.push_back(key.index);
    }
    return order;
}

std::string PreparationOrder::rootWithSlash(std::string_view sourceRootPath)
{
    std::string root(sourceRootPath);
    if (root.empty() || root.back() != '/') {
        root.push_back('/');
    }
    return root;
}

std::optional<std::string> PreparationOrder::relativePath(std::string_view path, std::string_view root)
{
    if (path.size() > root.size() && path.substr(0, root.size()) == root) {
        return std::string(path.substr(root.size()));
    }
    if ((text::isAscii(path) && text::isAscii(root)) || !text::isValidUtf8(path) || !text::isValidUtf8(root)) {
        return std::nullopt;
    }
    // Character by character, canonically equivalent characters being equal.
    std::vector<std::string> rootCharacters;
    text::forEachCharacter(root, [&](std::string_view character, std::size_t) {
        rootCharacters.push_back(PerItemPasses::characterKey(character));
        return true;
    });
    std::size_t matched = 0;
    std::size_t restOffset = 0;
    bool mismatch = false;
    text::forEachCharacter(path, [&](std::string_view character, std::size_t offset) {
        if (matched == rootCharacters.size()) {
            restOffset = offset;
            return false;
        }
        if (PerItemPasses::characterKey(character) != rootCharacters[matched]) {
            mismatch = true;
            return false;
        }
        ++matched;
        restOffset = offset + character.size();
        return true;
    });
    if (mismatch || matched < rootCharacters.size() || restOffset >= path.size()) {
        return std::nullopt;
    }
    return std::string(path.substr(restOffset));
}

}  // namespace tess
