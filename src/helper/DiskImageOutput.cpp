#include "DiskImageOutput.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace tess {

namespace {

struct PlistFree {
    void operator()(void* node) const { ::plist_free(static_cast<plist_t>(node)); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

}  // namespace

DiskImageOutput::Parsed DiskImageOutput::parse(std::string_view output)
{
    Parsed parsed;
    if (output.empty() || output.size() > std::numeric_limits<std::uint32_t>::max()) {
        return parsed;
    }
    plist_t raw = nullptr;
    ::plist_from_memory(output.data(), static_cast<std::uint32_t>(output.size()), &raw);
    PlistHandle root(raw);
    if (!root || ::plist_get_node_type(raw) != PLIST_DICT) {
        return parsed;
    }
    plist_t entities = ::plist_dict_get_item(raw, "system-entities");
    if (entities == nullptr || ::plist_get_node_type(entities) != PLIST_ARRAY) {
        return parsed;
    }
    const std::uint32_t count = ::plist_array_get_size(entities);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (::plist_get_node_type(::plist_array_get_item(entities, i)) != PLIST_DICT) {
            return parsed;
        }
    }
    parsed.outcome = Outcome::noMountPoint;
    for (std::uint32_t i = 0; i < count; ++i) {
        plist_t mountPoint = ::plist_dict_get_item(::plist_array_get_item(entities, i), "mount-point");
        if (mountPoint == nullptr || ::plist_get_node_type(mountPoint) != PLIST_STRING) {
            continue;
        }
        std::uint64_t length = 0;
        const char* text = ::plist_get_string_ptr(mountPoint, &length);
        if (text == nullptr) {
            continue;
        }
        parsed.outcome = Outcome::mounted;
        parsed.mountPoint.assign(text, static_cast<std::size_t>(length));
        return parsed;
    }
    return parsed;
}

}  // namespace tess
