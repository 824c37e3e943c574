#include "analysis/SmartPathShortener.h"

#include "analysis/NameOperations.h"
#include "analysis/RelativePath.h"
#include "text/Text.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#define PHASE2_LOG_INFO(message) m_analyzer.emitLog((message), "INFO", __FILE__, __LINE__)

namespace tess {

namespace {

constexpr std::int64_t kMinimumFloor = 8;
constexpr double kFloorRatio = 0.3;
constexpr std::string_view kEmptyComponentStandIn = "_";

std::int64_t bytesOf(std::string_view s)
{
    return static_cast<std::int64_t>(s.size());
}

std::int64_t ceilToInt(double value)
{
    return static_cast<std::int64_t>(std::ceil(value));
}

}  // namespace

SmartPathShortener::SmartPathShortener(const SourceFileAnalyzer& analyzer)
    : m_analyzer(analyzer)
{
}

std::int64_t SmartPathShortener::floorBytes(std::string_view component, bool isFileName)
{
    if (!isFileName) {
        return std::max(kMinimumFloor, ceilToInt(kFloorRatio * static_cast<double>(component.size())));
    }
    const auto [base, extension] = NameOperations::splitExtension(component);
    return std::max(kMinimumFloor, ceilToInt(kFloorRatio * static_cast<double>(base.size()))) + bytesOf(extension);
}

std::vector<std::int64_t> SmartPathShortener::distributeCuts(const std::vector<ComponentInfo>& components,
    std::int64_t excess)
{
    std::vector<std::int64_t> cuts(components.size(), 0);
    std::int64_t total = 0;
    for (const ComponentInfo& info : components) {
        total += info.shrinkableBytes;
    }
    if (total <= 0 || excess <= 0) {
        return cuts;
    }
    std::vector<std::size_t> order(components.size());
    std::iota(order.begin(), order.end(), std::size_t {0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return components[a].shrinkableBytes > components[b].shrinkableBytes;
    });
    std::int64_t remaining = excess;
    // Each share is computed in double precision in this order of operations;
    // 14 / 50 * 25 evaluates just above 7 and gives 8.
    for (const std::size_t j : order) {
        const std::int64_t shrinkable = components[j].shrinkableBytes;
        const double proportion = static_cast<double>(shrinkable) / static_cast<double>(total);
        const std::int64_t share = ceilToInt(proportion * static_cast<double>(excess));
        const std::int64_t cut = std::min({shrinkable, share, remaining});
        cuts[j] = cut;
        remaining -= cut;
    }
    for (const std::size_t j : order) {
        if (remaining < 1) {
            break;
        }
        const std::int64_t room = components[j].shrinkableBytes - cuts[j];
        if (room >= 1) {
            const std::int64_t extra = std::min(room, remaining);
            cuts[j] += extra;
            remaining -= extra;
        }
    }
    return cuts;
}

std::string SmartPathShortener::shrinkComponent(std::string_view component, std::int64_t target, bool isFileName) const
{
    std::string shortened;
    if (!isFileName) {
        shortened = m_analyzer.passes().dropTrailingStripCharacters(NameOperations::truncateToUtf8Bytes(component, target));
        if (shortened.empty()) {
            shortened = kEmptyComponentStandIn;
        }
    } else {
        const auto [base, extension] = NameOperations::splitExtension(component);
        const auto [stem, suffix] = NameOperations::splitVersionSuffix(base);
        const std::int64_t budget = target - bytesOf(extension) - bytesOf(suffix);
        if (budget < 1) {
            return std::string(component);
        }
        const std::string cut = NameOperations::truncateToUtf8Bytes(stem, budget);
        if (cut.empty()) {
            return std::string(component);
        }
        shortened = m_analyzer.passes().dropTrailingStripCharacters(cut);
        if (shortened.empty()) {
            shortened = kEmptyComponentStandIn;
        }
        shortened.append(suffix);
        shortened.append(extension);
    }
    if (m_analyzer.passes().cleanRepeatedSeparators()) {
        return m_analyzer.passes().collapseSeparatorRuns(shortened);
    }
    return shortened;
}

void SmartPathShortener::rewriteIssues(Phase2IntermediateItem& item, std::int64_t newLength) const
{
    SourceFileAnalyzer::Issues& issues = item.item->transformations;
    issues.erase(std::remove_if(issues.begin(), issues.end(),
                     [](const FileTransformationIssue& issue) { return issue.is<FileTransformationIssue::PathTooLong>(); }),
        issues.end());
    const std::int64_t originalLength = m_analyzer.passes().destinationRootByteCount() + bytesOf(item.item->transformedPath);
    issues.emplace_back(FileTransformationIssue::PathShortened {originalLength, newLength});
}

std::vector<SmartPathShortener::OverlongEntry> SmartPathShortener::overlongEntries(const Phase2Items& items,
    const std::vector<std::size_t>& overlongIndices) const
{
    const std::int64_t rootBytes = m_analyzer.passes().destinationRootByteCount();
    const std::int64_t limit = m_analyzer.passes().effectiveMaxPathLength();
    std::vector<OverlongEntry> entries;
    for (const std::size_t index : overlongIndices) {
        if (index >= items.size()) {
            continue;
        }
        const std::int64_t length = rootBytes + bytesOf(items[index].currentPath);
        if (length > limit) {
            entries.push_back(OverlongEntry {index, length});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
        [](const OverlongEntry& a, const OverlongEntry& b) { return a.pathLength > b.pathLength; });
    return entries;
}

PrefixMappings SmartPathShortener::smartShortenPaths(Phase2Items& items, const std::vector<std::size_t>& overlongIndices) const
{
    const std::vector<OverlongEntry> entries = overlongEntries(items, overlongIndices);
    PrefixMappings prefixMappings;
    if (entries.empty()) {
        return prefixMappings;
    }
    PHASE2_LOG_INFO("Smart path shortening: " + std::to_string(entries.size()) + " overlong paths to process");

    PrefixMappings componentMappings;
    for (const OverlongEntry& entry : entries) {
        shortenItem(items[entry.index], componentMappings, prefixMappings);
    }
    PHASE2_LOG_INFO("Smart path shortening: " + std::to_string(prefixMappings.size()) + " unique prefix mappings generated");
    return prefixMappings;
}

void SmartPathShortener::shortenItem(Phase2IntermediateItem& item, PrefixMappings& componentMappings,
    PrefixMappings& prefixMappings) const
{
    const std::int64_t rootBytes = m_analyzer.passes().destinationRootByteCount();
    const std::int64_t limit = m_analyzer.passes().effectiveMaxPathLength();
    const bool isDirectory = item.item->originalFile.isDirectory;
    std::vector<std::string> components = RelativePath::split(item.currentPath);
    std::vector<std::string> prefixes;
    prefixes.reserve(components.size());
    for (std::size_t k = 0; k < components.size(); ++k) {
        prefixes.push_back(k == 0 ? components[0] : prefixes[k - 1] + "/" + components[k]);
    }

    const std::vector<ComponentInfo> infos = reuseShortenedFolders(item, components, prefixes, componentMappings);
    const std::int64_t length = rootBytes + bytesOf(item.currentPath);
    if (length <= limit) {
        if (!text::canonicallyEqual(item.currentPath, item.item->transformedPath)) {
            rewriteIssues(item, length);
        }
        return;
    }
    const std::int64_t excess = length - limit;
    if (infos.empty()) {
        return;
    }
    if (!isDirectory && cutFileNameOnly(item, components, infos.back(), excess)) {
        return;
    }
    std::int64_t total = 0;
    for (const ComponentInfo& info : infos) {
        total += info.shrinkableBytes;
    }
    if (total < excess) {
        return;
    }
    const std::vector<std::int64_t> cuts = distributeCuts(infos, excess);
    for (std::size_t j = 0; j < infos.size(); ++j) {
        const ComponentInfo& info = infos[j];
        if (cuts[j] < 1) {
            continue;
        }
        const std::size_t k = info.componentIndex;
        const bool isFileName = info.isLastComponent && !isDirectory;
        const std::string oldComponent = components[k];
        std::string newComponent = shrinkComponent(oldComponent, info.originalBytes - cuts[j], isFileName);
        components[k] = newComponent;
        item.item->shortenedComponents[newComponent] = oldComponent;
        if (!isFileName) {
            componentMappings[prefixes[k]] = newComponent;
            prefixMappings[prefixes[k]] = RelativePath::joinFirst(components, k + 1);
        }
    }
    item.currentPath = RelativePath::join(components);
    const std::int64_t newLength = rootBytes + bytesOf(item.currentPath);
    if (newLength <= limit) {
        rewriteIssues(item, newLength);
    }
}

std::vector<SmartPathShortener::ComponentInfo> SmartPathShortener::reuseShortenedFolders(Phase2IntermediateItem& item,
    std::vector<std::string>& components, const std::vector<std::string>& prefixes, const PrefixMappings& componentMappings) const
{
    const bool isDirectory = item.item->originalFile.isDirectory;
    const std::size_t last = components.size() - 1;
    std::vector<ComponentInfo> infos;
    bool reused = false;
    for (std::size_t k = 0; k < components.size(); ++k) {
        const bool isFolderComponent = k != last || isDirectory;
        if (isFolderComponent) {
            const auto mapped = componentMappings.find(prefixes[k]);
            if (mapped != componentMappings.end()) {
                item.item->shortenedComponents[mapped->second] = components[k];
                components[k] = mapped->second;
                reused = true;
                continue;
            }
        }
        const std::int64_t bytes = bytesOf(components[k]);
        const std::int64_t floor = floorBytes(components[k], !isFolderComponent);
        const std::int64_t shrinkable = bytes - floor;
        if (shrinkable >= 1) {
            infos.push_back(ComponentInfo {k, bytes, floor, shrinkable, k == last});
        }
    }
    if (reused) {
        item.currentPath = RelativePath::join(components);
    }
    return infos;
}

bool SmartPathShortener::cutFileNameOnly(Phase2IntermediateItem& item, std::vector<std::string>& components,
    const ComponentInfo& nameInfo, std::int64_t excess) const
{
    if (!nameInfo.isLastComponent || nameInfo.shrinkableBytes < excess) {
        return false;
    }
    const std::string oldName = components[nameInfo.componentIndex];
    std::string newName = shrinkComponent(oldName, nameInfo.originalBytes - excess, true);
    components[nameInfo.componentIndex] = newName;
    std::string newPath = RelativePath::join(components);
    const std::int64_t newLength = m_analyzer.passes().destinationRootByteCount() + bytesOf(newPath);
    if (newLength > m_analyzer.passes().effectiveMaxPathLength()) {
        components[nameInfo.componentIndex] = oldName;
        return false;
    }
    item.item->shortenedComponents[std::move(newName)] = oldName;
    item.currentPath = std::move(newPath);
    rewriteIssues(item, newLength);
    return true;
}

}  // namespace tess
