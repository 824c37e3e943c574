#pragma once

#include "analysis/FileItem.h"
#include "core/Concurrency.h"
#include "index/PathKey.h"
#include "text/Text.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tess {

// The path keys of a list of items, without copying a path that is its own
// key (every ASCII path, most others).
class ItemKeys {
public:
    // Pieces of work for parallelFor: a few per processor, none tiny.
    static constexpr std::size_t kMinimumChunk = 4096;

    explicit ItemKeys(const std::vector<FileItem>& items)
        : m_views(items.size())
    {
        // Most paths are their own key; the others get theirs side by side.
        const std::size_t chunks = chunkCountFor(items.size(), kMinimumChunk);
        std::vector<std::vector<std::pair<std::size_t, std::string>>> owned(chunks);
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, items.size());
            for (std::size_t i = begin; i < end; ++i) {
                const std::string& path = items[i].path;
                if (text::isAscii(path)) {
                    m_views[i] = path;
                    continue;
                }
                std::string key = pathKey(path);
                if (key == path) {
                    m_views[i] = path;
                } else {
                    owned[chunk].emplace_back(i, std::move(key));
                }
            }
        });
        std::size_t total = 0;
        for (const auto& list : owned) {
            total += list.size();
        }
        m_owned.reserve(total);
        for (auto& list : owned) {
            for (auto& [index, key] : list) {
                m_owned.push_back(std::move(key));
                m_views[index] = m_owned.back();  // no reallocation: reserved above
            }
        }
    }

    std::size_t size() const { return m_views.size(); }
    std::string_view operator[](std::size_t index) const { return m_views[index]; }

    // A twin keyed by its exact bytes (`path` outlives this object).
    void keyByBytes(std::size_t index, std::string_view path) { m_views[index] = path; }

    // The length of the folder path, with its "/", that every key starts
    // with (the scan root's).
    std::size_t sharedFolderLength() const
    {
        if (m_views.empty()) {
            return 0;
        }
        const std::string_view first = m_views[0];
        const std::size_t chunks = chunkCountFor(m_views.size(), kMinimumChunk);
        std::vector<std::size_t> shared(chunks, first.size());
        parallelFor(chunks, [&](std::size_t chunk) {
            const auto [begin, end] = chunkRange(chunk, chunks, m_views.size());
            std::size_t length = first.size();
            for (std::size_t i = begin; i < end; ++i) {
                const std::string_view key = m_views[i];
                const auto limit = static_cast<std::ptrdiff_t>(std::min(length, key.size()));
                length = static_cast<std::size_t>(std::mismatch(first.begin(), first.begin() + limit, key.begin()).first - first.begin());
            }
            shared[chunk] = length;
        });
        const std::size_t length = *std::min_element(shared.begin(), shared.end());
        const std::size_t slash = first.substr(0, length).rfind('/');
        return slash == std::string_view::npos ? 0 : slash + 1;
    }

private:
    std::vector<std::string_view> m_views;
    std::vector<std::string> m_owned;
};

}  // namespace tess
