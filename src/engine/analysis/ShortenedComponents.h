#pragma once

#include "text/Text.h"

#include <cstddef>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace tess {

// Shortened component text to the component it replaced. Keys compare under
// canonical equivalence; the map's order is deterministic. Nearly every item
// has none: an empty one takes one pointer, and the map is made on the first
// entry. It reads like the map; a copy copies the entries.
class ShortenedComponents {
public:
    using Map = std::map<std::string, std::string, text::CanonicalLess>;
    using key_type = Map::key_type;
    using mapped_type = Map::mapped_type;
    using value_type = Map::value_type;
    using size_type = Map::size_type;
    using const_iterator = Map::const_iterator;
    using iterator = Map::const_iterator;  // the entries are read, or set by key

    ShortenedComponents() = default;
    ShortenedComponents(std::initializer_list<value_type> entries)
        : m_map(entries.size() == 0 ? nullptr : std::make_unique<Map>(entries))
    {
    }
    ShortenedComponents(const ShortenedComponents& other)
        : m_map(other.empty() ? nullptr : std::make_unique<Map>(*other.m_map))
    {
    }
    ShortenedComponents(ShortenedComponents&&) noexcept = default;
    ~ShortenedComponents() = default;
    ShortenedComponents& operator=(const ShortenedComponents& other)
    {
        if (this != &other) {
            m_map = other.empty() ? nullptr : std::make_unique<Map>(*other.m_map);
        }
        return *this;
    }
    ShortenedComponents& operator=(ShortenedComponents&&) noexcept = default;

    bool empty() const { return m_map == nullptr || m_map->empty(); }
    size_type size() const { return m_map == nullptr ? 0 : m_map->size(); }
    const_iterator begin() const { return entries().begin(); }
    const_iterator end() const { return entries().end(); }

    std::string& operator[](const std::string& key) { return map()[key]; }
    std::string& operator[](std::string&& key) { return map()[std::move(key)]; }
    void insert_or_assign(std::string key, std::string value) { map().insert_or_assign(std::move(key), std::move(value)); }

    friend bool operator==(const ShortenedComponents& a, const ShortenedComponents& b) { return a.entries() == b.entries(); }

private:
    const Map& entries() const
    {
        static const Map none;
        return m_map == nullptr ? none : *m_map;
    }
    Map& map()
    {
        if (m_map == nullptr) {
            m_map = std::make_unique<Map>();
        }
        return *m_map;
    }

    std::unique_ptr<Map> m_map;
};

}  // namespace tess
