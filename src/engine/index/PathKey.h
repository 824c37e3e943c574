#pragma once

#include "analysis/FileItem.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The identity of an index row: the path in Unicode normalisation form C,
// without case folding or any other change.
//
// A Linux name may be bytes that are not UTF-8. Such a component keeps its
// raw bytes in the key (normalising its Windows-1252 reading instead would
// give two different names the same key); the valid components around it are
// still normalised.
std::string pathKey(std::string_view path);

// Whether a path whose key is `key` may be stored with other bytes than the
// key's (from byte `from` on): true when that part holds a byte outside ASCII
// or one of the ASCII characters that a character outside ASCII normalises
// to (KELVIN SIGN to "K", GREEK QUESTION MARK to ";", GREEK VARIA to "`").
// Any other key is the only path that has it.
bool keyMayHideOtherBytes(std::string_view key, std::size_t from = 0);

// Paths that share one key are twins: names that differ only in
// normalisation, such as "é" precomposed and decomposed side by side in one
// folder, which Linux keeps as two items. Each twin keeps a row of its own:
// the twin whose bytes already are the key owns it (when none is, the
// byte-smallest), every other twin is keyed by its exact bytes. Those never
// equal a key (a key is its own key, such a twin is not), so keys stay unique
// and a path without a twin keeps the key it always had. The keys depend only
// on the set of paths that share one, so a walk of the tree and the rows it
// left reach the same keys.
class TwinKeys {
public:
    TwinKeys() = default;
    // `paths`: the twins keyed by their exact bytes, in any order.
    explicit TwinKeys(std::vector<std::string> paths);

    // The twins among `items` that are keyed by their exact bytes.
    static TwinKeys of(const std::vector<FileItem>& items);
    // Of different paths that share `key`, the position of the one that owns it.
    static std::size_t owner(const std::vector<std::string_view>& twins, std::string_view key);

    bool isKeyedByBytes(std::string_view path) const;
    // The key of a row for `path`.
    std::string keyOf(std::string_view path) const;
    bool empty() const { return m_paths.empty(); }
    // Ascending.
    const std::vector<std::string>& paths() const { return m_paths; }

private:
    std::vector<std::string> m_paths;  // ascending, unique
};

}  // namespace tess
