#include "HelperSelector.h"

#include <array>

namespace tess {

namespace {

constexpr std::array<HelperSelectorInfo, 9> kSelectors {{
    {HelperSelector::testConnection, "testHelperConnectionWithReply:", 0},
    {HelperSelector::getVersion, "getHelperVersionWithReply:", 0},
    {HelperSelector::initializeForUser, "initializeHelperForUserWithUserHome:withReply:", 1},
    {HelperSelector::createDirectory, "createDirectoryAtPath:withReply:", 1},
    {HelperSelector::renameFile, "renameFileAtPath:toPath:withReply:", 2},
    {HelperSelector::mountDiskImage, "mountDiskImageAtPath:withReply:", 1},
    {HelperSelector::unmountDiskImage, "unmountDiskImageAtMountPoint:withReply:", 1},
    {HelperSelector::applyAttributes, "applyAttributesOfPath:toPath:withReply:", 2},
    {HelperSelector::removeDirectory, "removeDirectoryAtPath:withReply:", 1},
}};

constexpr bool numberedInOrder()
{
    for (std::size_t i = 0; i < kSelectors.size(); ++i) {
        if (static_cast<std::size_t>(kSelectors[i].selector) != i + 1) {
            return false;
        }
    }
    return true;
}
static_assert(numberedInOrder(), "info() finds each selector at its number");

}  // namespace

const HelperSelectorInfo& HelperSelectors::info(HelperSelector selector)
{
    return kSelectors[static_cast<std::size_t>(selector) - 1];
}

std::optional<HelperSelector> HelperSelectors::fromName(std::string_view name)
{
    for (const auto& entry : kSelectors) {
        if (entry.name == name) {
            return entry.selector;
        }
    }
    return std::nullopt;
}

}  // namespace tess
