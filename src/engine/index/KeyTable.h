#pragma once

#include "analysis/FileItem.h"
#include "core/Concurrency.h"
#include "index/ItemKeys.h"
#include "index/PathKey.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

namespace tess {

// No item: an empty slot, the end of a chain, a key no item has.
inline constexpr std::uint32_t kNoItem = std::numeric_limits<std::uint32_t>::max();

// An open-addressing table from a path key to the items that have it (two
// items share a key when their names differ only in normalisation).
class KeyTable {
public:
    // Filled side by side: a slot is claimed with a compare-and-swap, and
    // items whose key is already in the table are linked afterwards.
    explicit KeyTable(const ItemKeys& keys)
        : m_keys(keys)
    {
        constexpr std::size_t kMinimumChunk = ItemKeys::kMinimumChunk;
        const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, keys.size() * 2));
        m_slots.assign(capacity, kNoItem);
        m_mask = capacity - 1;
        const std::size_t chunks = chunkCountFor(keys.size(), kMinimumChunk);
        std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> duplicates(chunks);
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, keys.size());
            for (std::size_t i = begin; i < end; ++i) {
                const auto item = static_cast<std::uint32_t>(i);
                const std::uint32_t occupant = insert(item);
                if (occupant != kNoItem) {
                    duplicates[chunk].emplace_back(item, occupant);
                }
            }
        });
        for (const auto& list : duplicates) {
            for (const auto& [item, occupant] : list) {
                if (m_next.empty()) {
                    m_next.assign(m_keys.size(), kNoItem);
                }
                m_next[item] = m_next[occupant];
                m_next[occupant] = item;
                m_sharedKeys.push_back(occupant);
            }
        }
        std::sort(m_sharedKeys.begin(), m_sharedKeys.end());
        m_sharedKeys.erase(std::unique(m_sharedKeys.begin(), m_sharedKeys.end()), m_sharedKeys.end());
    }

    // The first item of every key that more than one item has.
    const std::vector<std::uint32_t>& sharedKeys() const { return m_sharedKeys; }

    // The first item with `key`, or kNoItem; next() gives the others.
    std::uint32_t find(std::string_view key) const
    {
        for (std::size_t slot = hash(key) & m_mask;; slot = (slot + 1) & m_mask) {
            const std::uint32_t item = m_slots[slot];
            if (item == kNoItem || m_keys[item] == key) {
                return item;
            }
        }
    }

    std::uint32_t next(std::uint32_t item) const { return m_next.empty() ? kNoItem : m_next[item]; }

private:
    static std::size_t hash(std::string_view key) { return std::hash<std::string_view> {}(key); }

    // Claims a slot for `item`; kNoItem, or the item already holding its key.
    std::uint32_t insert(std::uint32_t item)
    {
        const std::string_view key = m_keys[item];
        for (std::size_t slot = hash(key) & m_mask;; slot = (slot + 1) & m_mask) {
            std::atomic_ref<std::uint32_t> occupant(m_slots[slot]);
            std::uint32_t current = occupant.load(std::memory_order_acquire);
            if (current == kNoItem
                && occupant.compare_exchange_strong(current, item, std::memory_order_acq_rel, std::memory_order_acquire)) {
                return kNoItem;
            }
            if (m_keys[current] == key) {
                return current;
            }
        }
    }

    const ItemKeys& m_keys;
    std::vector<std::uint32_t> m_slots;
    std::vector<std::uint32_t> m_next;  // further items with the same key
    std::vector<std::uint32_t> m_sharedKeys;
    std::size_t m_mask = 0;
};

// Keys every twin that does not own its key by its exact bytes (see
// TwinKeys) and returns those twins; the table must then be built again.
inline TwinKeys keyTwinsByBytes(const std::vector<FileItem>& items, ItemKeys& keys, const KeyTable& table)
{
    std::vector<std::string> keyedByBytes;
    std::vector<std::uint32_t> members;
    std::vector<std::string_view> paths;
    for (const std::uint32_t first : table.sharedKeys()) {
        members.clear();
        paths.clear();
        for (std::uint32_t item = first; item != kNoItem; item = table.next(item)) {
            members.push_back(item);
            paths.push_back(items[item].path);
        }
        const std::string_view owner = paths[TwinKeys::owner(paths, keys[first])];
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (paths[i] != owner) {  // the same path twice shares its row
                keys.keyByBytes(members[i], paths[i]);
                keyedByBytes.emplace_back(paths[i]);
            }
        }
    }
    return TwinKeys(std::move(keyedByBytes));
}

}  // namespace tess
