#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tess {

// The daemon's operations: the first seven in the protocol's declaration
// order, then those added since, each keeping its number.
enum class HelperSelector : std::uint8_t {
    testConnection = 1,
    getVersion,
    initializeForUser,
    createDirectory,
    renameFile,
    mountDiskImage,
    unmountDiskImage,
    applyAttributes,  // a folder takes another folder's owner, mode, ACLs, attributes and times
    removeDirectory,  // an empty folder is removed
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
