#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tess {

// The daemon's seven operations, in the protocol's declaration order.
enum class HelperSelector : std::uint8_t {
    testConnection = 1,
    getVersion,
    initializeForUser,
    createDirectory,
    renameFile,
    mountDiskImage,
    unmountDiskImage,
};

struct HelperSelectorInfo {
    HelperSelector selector;
    std::string_view name;  // the selector text carried on the wire
    std::size_t argumentCount;
};

class HelperSelectors {
public:
    static const HelperSelectorInfo& info(HelperSelector selector);
    static std::optional<HelperSelector> fromName(std::string_view name);
};

}  // namespace tess
