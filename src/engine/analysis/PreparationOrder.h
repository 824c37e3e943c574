#pragma once

#include "analysis/FileItem.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// How an analysis lays out its items before phase 1: the order they are
// analysed in, the chunks phase 1 splits them into and their paths relative
// to the source root.
class PreparationOrder {
public:
    // How phase 1 splits n items: at least 500 items per chunk, at most one
    // chunk per processor; below two chunks the run is serial.
    struct ChunkPlan {
        std::size_t chunkCount = 1;
        std::size_t chunkSize = 0;
        bool parallel() const { return chunkCount > 1; }
    };

    static ChunkPlan planChunks(std::size_t itemCount, std::size_t cores);
    // Positions of the items in preparation order: depth ("/" bytes of the
    // absolute path) ascending, folders before files, then path ascending
    // under canonical equivalence. Ties keep input order.
    static std::vector<std::size_t> sortedOrder(const std::vector<FileItem>& items);
    // The root with one "/" at its end.
    static std::string rootWithSlash(std::string_view sourceRootPath);
    // `path` with the leading `root` (ending in "/") removed, matching
    // character by character under canonical equivalence; nothing when the
    // path is not inside the root (or is the root itself).
    static std::optional<std::string> relativePath(std::string_view path, std::string_view root);
};

}  // namespace tess
