#include "analysis/CollisionResolver.h"

#include "analysis/NameOperations.h"
#include "analysis/RelativePath.h"
#include "core/Concurrency.h"
#include "rules/RuleTypes.h"
#include "text/Text.h"

#include <algorithm>
#include <unordered_set>

namespace tess {

namespace {

constexpr std::size_t kReservedGroupCount = 128;
// No container, no group.
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::size_t kItemsPerChunk = 500;

std::int64_t bytesOf(std::string_view s)
{
    return static_cast<std::int64_t>(s.size());
}

template <class T>
bool hasIssue(const SourceFileAnalyzer::Issues& issues)
{
    return std::any_of(issues.begin(), issues.end(), [](const FileTransformationIssue& issue) { return issue.is<T>(); });
}

// The items under the source root by level (component count of the current
// path), levels ascending, each in item order.
std::vector<std::pair<std::size_t, std::vector<std::size_t>>> levelsOf(const Phase2Items& items)
{
    const std::size_t n = items.size();
    constexpr std::size_t kOutside = 0;  // a real level is at least 1
    std::vector<std::size_t> levelOf(n, kOutside);
    inChunks(n, kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (!items[i].item->outsideSourceRoot) {
                levelOf[i] = RelativePath::componentCount(items[i].currentPath);
            }
        }
    });
    std::vector<std::size_t> sizes;
    for (const std::size_t level : levelOf) {
        if (level >= sizes.size()) {
            sizes.resize(level + 1, 0);
        }
        ++sizes[level];
    }
    std::vector<std::pair<std::size_t, std::vector<std::size_t>>> levels;
    std::vector<std::size_t> slotOfLevel(sizes.size(), 0);
    for (std::size_t level = 1; level < sizes.size(); ++level) {
        if (sizes[level] != 0) {
            slotOfLevel[level] = levels.size();
            levels.emplace_back(level, std::vector<std::size_t> {});
            levels.back().second.reserve(sizes[level]);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (levelOf[i] != kOutside) {
            levels[slotOfLevel[levelOf[i]]].second.push_back(i);
        }
    }
    return levels;
}

}  // namespace

CollisionResolver::CollisionResolver(const SourceFileAnalyzer& analyzer, const SourceFileAnalyzer::CancelCheck& isCancelled)
    : m_analyzer(analyzer)
    , m_isCancelled(isCancelled)
{
}

std::string CollisionResolver::pathKey(std::string_view path) const
{
    if (text::isAscii(path)) {
        std::string key(path);
        if (!m_analyzer.effectiveCaseSensitive()) {
            for (char& c : key) {
                if (c >= 'A' && c <= 'Z') {
                    c = static_cast<char>(c - 'A' + 'a');
                }
            }
        }
        return key;
    }
    if (m_analyzer.effectiveCaseSensitive()) {
        return text::nfc(path);
    }
    return text::nfc(text::toLower(path));
}

std::string CollisionResolver::uniqueCollisionName(std::string_view path, std::int64_t number, std::int64_t nameLimit)
{
    const std::string_view folderPart = RelativePath::parentPart(path);
    const std::string_view name = RelativePath::lastComponent(path);
    const auto [base, extension] = NameOperations::splitExtension(name);
    const std::string suffix = "_" + std::to_string(number);
    std::string candidate;
    candidate.reserve(name.size() + suffix.size());
    candidate.append(base).append(suffix).append(extension);
    if (bytesOf(candidate) > nameLimit) {
        const std::int64_t room = std::max<std::int64_t>(1, nameLimit - bytesOf(suffix) - bytesOf(extension));
        const auto [stem, version] = NameOperations::splitVersionSuffix(base);
        const std::int64_t budget = std::max<std::int64_t>(1, room - bytesOf(version));
        candidate = NameOperations::truncateToUtf8Bytes(stem, budget);
        candidate.append(version).append(suffix).append(extension);
    }
    return RelativePath::child(folderPart, candidate);
}

std::string CollisionResolver::uniqueUdfCollisionName(std::string_view path, std::int64_t number, std::int64_t nameLimit) const
{
    const std::string_view folderPart = RelativePath::parentPart(path);
    const auto [base, extension] = NameOperations::splitExtension(RelativePath::lastComponent(path));
    const std::string suffix = "_" + std::to_string(number);
    std::string candidate;
    candidate.append(base).append(suffix).append(extension);
    if (m_analyzer.passes().nameLength(candidate) > nameLimit) {
        const auto [stem, version] = NameOperations::splitVersionSuffix(base);
        std::string tail;
        tail.append(version).append(suffix).append(extension);
        candidate = NameOperations::fitUdfNameHead(stem, tail, nameLimit);
        if (candidate.empty()) {
            candidate = NameOperations::fitUdfNameHead(stem, {}, 1);  // as the byte measure keeps one character
        }
        candidate.append(tail);
    }
    return RelativePath::child(folderPart, candidate);
}

std::optional<std::string> CollisionResolver::claimUniquePath(const std::string& path, bool isDirectory,
    ClaimState& state, SourceFileAnalyzer::Issues& issues, std::optional<std::size_t> member) const
{
    std::string key = pathKey(RelativePath::lastComponent(path));
    std::optional<std::string> numbered;
    std::string resultKey;
    const auto held = state.claimedPaths.find(key);
    // The item's own old name, reserved for it, never makes it collide with
    // itself (a name that is not UTF-8 reads the same as its proposed name).
    const auto reserved = member ? state.reservedOldNames.find(key) : state.reservedOldNames.end();
    const bool heldByItself = reserved != state.reservedOldNames.end() && reserved->second == *member;
    if (held == state.claimedPaths.end() || heldByItself) {
        resultKey = std::move(key);
    } else {
        std::string result;
        const std::string claimant(held->second);
        const std::int64_t nameLimit = isDirectory ? m_analyzer.passes().effectiveFolderNameLength() : m_analyzer.passes().effectiveFileNameLength();
        const auto counter = state.collisionCounters.find(key);
        std::int64_t number = counter == state.collisionCounters.end() ? 1 : counter->second;
        // Numbered names differ in their number, but separator cleaning can
        // eat it (digits listed as separators): once a cleaned name comes
        // round again, the names are taken as numbered, so the loop ends.
        bool clean = m_analyzer.passes().cleanRepeatedSeparators();
        std::unordered_set<std::string> cleanedKeys;
        while (true) {
            result = m_analyzer.passes().measuresUdfNames() ? uniqueUdfCollisionName(path, number, nameLimit)
                                                            : uniqueCollisionName(path, number, nameLimit);
            if (clean) {
                // Only the new name: the folder part is the folder's own,
                // already final path.
                std::string cleaned = RelativePath::child(RelativePath::parentPart(result),
                    m_analyzer.passes().collapseSeparatorRuns(RelativePath::lastComponent(result)));
                std::string cleanedKey = pathKey(RelativePath::lastComponent(cleaned));
                if (cleanedKeys.insert(cleanedKey).second) {
                    result = std::move(cleaned);
                    resultKey = std::move(cleanedKey);
                } else {
                    clean = false;
                    resultKey = pathKey(RelativePath::lastComponent(result));
                }
            } else {
                resultKey = pathKey(RelativePath::lastComponent(result));
            }
            ++number;
            if (state.claimedPaths.find(resultKey) == state.claimedPaths.end()) {
                break;
            }
        }
        state.collisionCounters[key] = number;
        issues.emplace_back(FileTransformationIssue::Collision {claimant});
        numbered = std::move(result);
    }
    if (heldByItself) {
        state.reservedOldNames.erase(reserved);
    }
    state.claimedPaths[std::move(resultKey)] = path;
    return numbered;
}

void CollisionResolver::finish(std::size_t index, const std::optional<std::string>& numbered, Phase2Items& items,
    std::vector<unsigned char>& filled) const
{
    Phase2IntermediateItem& item = items[index];
    const std::string& finalPath = numbered ? *numbered : item.currentPath;
    SourceFileAnalyzer::Issues& issues = item.item->transformations;
    const bool isDirectory = item.item->originalFile.isDirectory;
    // A name or path that numbering or a carried folder path took past its
    // limit is reported, not proposed silently. Too-deep folders are reported
    // through the too-deep set instead.
    if (!item.item->tooDeepOriginalPath) {
        const std::int64_t nameBytes = m_analyzer.passes().nameLength(RelativePath::lastComponent(finalPath));
        if (isDirectory) {
            const std::int64_t limit = m_analyzer.passes().effectiveFolderNameLength();
            if (nameBytes > limit && !hasIssue<FileTransformationIssue::FolderNameTooLong>(issues)) {
                issues.emplace_back(FileTransformationIssue::FolderNameTooLong {nameBytes, limit});
            }
        } else {
            const std::int64_t limit = m_analyzer.passes().effectiveFileNameLength();
            if (nameBytes > limit && !hasIssue<FileTransformationIssue::FilenameTooLong>(issues)) {
                issues.emplace_back(FileTransformationIssue::FilenameTooLong {nameBytes, limit});
            }
        }
        const std::int64_t pathLimit = m_analyzer.passes().effectiveMaxPathLength();
        if (pathLimit != kNoLimit) {
            const std::int64_t total = m_analyzer.passes().destinationRootByteCount() + bytesOf(finalPath);
            if (total > pathLimit && !hasIssue<FileTransformationIssue::PathTooLong>(issues)) {
                issues.emplace_back(FileTransformationIssue::PathTooLong {total, pathLimit});
            }
        }
    }
    filled[index] = finalPath != item.item->originalRelativePath() ? kResolved | kRenamed : kResolved;
}

bool CollisionResolver::resolveGroup(const Group& group, Phase2Items& items, std::vector<unsigned char>& filled) const
{
    if (m_isCancelled && m_isCancelled()) {
        return false;
    }
    // Unchanged members first: those that keep their exact bytes, then those
    // whose name changes only its normalisation form. An item that keeps its
    // bytes is thus never numbered for an equivalent twin beside it, which
    // would otherwise be moved onto the very name it holds on disk.
    std::vector<std::size_t> unchanged;
    std::vector<std::size_t> renormalised;
    std::vector<std::size_t> changed;
    for (const std::size_t index : group.members) {
        const std::string& current = items[index].currentPath;
        const std::string_view original = items[index].item->originalRelativePath();
        if (current == original) {
            unchanged.push_back(index);
        } else {
            (RelativePath::equivalent(current, original) ? renormalised : changed).push_back(index);
        }
    }
    unchanged.insert(unchanged.end(), renormalised.begin(), renormalised.end());
    ClaimState state;
    state.claimedPaths.reserve(2 * group.members.size());
    // The numbered paths of members, which become their working paths once
    // the claims (which refer to the working paths) are done.
    std::vector<std::pair<std::size_t, std::string>> numberedPaths;
    const auto claim = [&](std::size_t index) {
        Phase2IntermediateItem& item = items[index];
        std::optional<std::string> numbered = claimUniquePath(item.currentPath, item.item->originalFile.isDirectory, state, item.item->transformations, index);
        finish(index, numbered, items, filled);
        if (numbered) {
            numberedPaths.emplace_back(index, std::move(*numbered));
        }
    };
    // Unchanged names are claimed first, so an item that keeps its name is
    // never numbered because of the old name of a sibling being renamed.
    for (const std::size_t index : unchanged) {
        claim(index);
    }
    // No member is renamed onto a name another member holds before the
    // renames. An old name in another folder cannot meet any path here.
    for (const std::size_t index : changed) {
        const std::string_view original = items[index].item->originalRelativePath();
        const std::string_view originalFolder = RelativePath::parentPart(original);
        if (originalFolder != RelativePath::parentPart(items[index].currentPath) && pathKey(originalFolder) != group.folderKey) {
            continue;
        }
        std::string key = pathKey(RelativePath::lastComponent(original));
        if (state.claimedPaths.try_emplace(key, original).second) {
            state.reservedOldNames.emplace(std::move(key), index);
        }
    }
    for (const std::size_t index : changed) {
        claim(index);
    }
    // The claims are done: each working path becomes the final path, which
    // later levels read.
    for (auto& [index, path] : numberedPaths) {
        items[index].currentPath = std::move(path);
    }
    for (const std::size_t index : group.members) {
        items[index].preShorteningPath.reset();
    }
    return true;
}

void CollisionResolver::carryContainerPath(Phase2IntermediateItem& item, const std::string& folder,
    std::string_view containerOriginal, std::size_t level) const
{
    // Only a folder one level up can hold the item; anything else would move
    // it to another level.
    if (level < 2 || RelativePath::componentCount(folder) != level - 1) {
        return;
    }
    const std::string_view parent = RelativePath::parentPart(item.currentPath);
    if (parent == folder) {
        return;
    }
    // An item still under its folder's old spelling, where the folder changes
    // nothing but its normalisation form, stays put and moves with it. Any
    // other spelling is another folder on a file system that tells the forms
    // apart (such as the folder's equivalent twin, whose rename the item
    // followed): the item takes its own folder's exact path.
    if (parent == containerOriginal && RelativePath::equivalent(folder, parent)) {
        return;
    }
    item.currentPath = RelativePath::child(folder, RelativePath::lastComponent(item.currentPath));
}

CollisionResolver::LevelPlacement CollisionResolver::placeLevel(std::size_t level, const std::vector<std::size_t>& members,
    Phase2Items& items, const Containers& containers, const std::vector<unsigned char>& filled) const
{
    const std::size_t m = members.size();
    LevelPlacement placement {std::vector<std::size_t>(m, kNone), std::vector<std::string>(m)};
    inChunks(m, kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t j = begin; j < end; ++j) {
            const std::size_t index = members[j];
            Phase2IntermediateItem& item = items[index];
            const std::optional<std::size_t> container = index < containers.size() ? containers[index] : std::nullopt;
            const bool containerDone = container && *container < items.size() && filled[*container];
            if (containerDone) {
                carryContainerPath(item, items[*container].currentPath, items[*container].item->originalRelativePath(), level);
            }
            const std::string_view folder = RelativePath::parentPart(item.currentPath);
            if (containerDone && folder == items[*container].currentPath) {
                placement.viaContainer[j] = *container;
            } else {
                placement.folderKeys[j] = pathKey(folder);
            }
        }
    });
    return placement;
}

std::vector<CollisionResolver::Group> CollisionResolver::groupLevel(std::size_t level, const std::vector<std::size_t>& members,
    LevelPlacement& placement, const Phase2Items& items, std::vector<std::pair<std::size_t, std::size_t>>& containerGroup) const
{
    const std::size_t m = members.size();
    const std::vector<std::size_t>& viaContainer = placement.viaContainer;
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> groupOfKey;
    groupOfKey.reserve(kReservedGroupCount);
    const auto groupFor = [&](std::string key) {
        const auto [found, added] = groupOfKey.try_emplace(std::move(key), groups.size());
        if (added) {
            groups.push_back(Group {found->first, {}});
        }
        return found->second;
    };
    // The keys of the containers first seen at this level, side by side.
    std::vector<std::size_t> newContainers;
    for (std::size_t j = 0; j < m; ++j) {
        const std::size_t container = viaContainer[j];
        if (container != kNone && containerGroup[container].first != level) {
            containerGroup[container] = {level, newContainers.size()};
            newContainers.push_back(container);
        }
    }
    std::vector<std::string> containerKeys(newContainers.size());
    inChunks(newContainers.size(), kItemsPerChunk, [&](std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c) {
            containerKeys[c] = pathKey(items[newContainers[c]].currentPath);
        }
    });
    // Each container's group is taken where it is first seen, as are the
    // other folders' groups: groups stand in the order of their first
    // member.
    std::vector<std::size_t> groupOf(m);
    std::vector<std::size_t> groupOfContainer(newContainers.size(), kNone);
    for (std::size_t j = 0; j < m; ++j) {
        const std::size_t container = viaContainer[j];
        if (container != kNone) {
            std::size_t& group = groupOfContainer[containerGroup[container].second];
            if (group == kNone) {
                group = groupFor(std::move(containerKeys[containerGroup[container].second]));
            }
            groupOf[j] = group;
        } else {
            groupOf[j] = groupFor(std::move(placement.folderKeys[j]));
        }
    }
    std::vector<std::size_t> groupSizes(groups.size(), 0);
    for (const std::size_t group : groupOf) {
        ++groupSizes[group];
    }
    for (std::size_t group = 0; group < groups.size(); ++group) {
        groups[group].members.reserve(groupSizes[group]);
    }
    for (std::size_t j = 0; j < m; ++j) {
        groups[groupOf[j]].members.push_back(members[j]);
    }
    return groups;
}

CollisionResolver::Outcome CollisionResolver::resolve(Phase2Items& items, const Containers& containers,
    std::vector<unsigned char>& filled) const
{
    Outcome outcome;
    const std::vector<std::pair<std::size_t, std::vector<std::size_t>>> levels = levelsOf(items);
    std::atomic<bool> cancelled {false};
    // Per container: the last level its items were grouped at, and its place
    // among that level's containers.
    std::vector<std::pair<std::size_t, std::size_t>> containerGroup(items.size(), {kNone, 0});
    for (const auto& [level, members] : levels) {
        // First, side by side: every item takes its folder's final path, and
        // an item that does not sit right in its container's path gets its
        // folder's key. Then the groups, in item order.
        LevelPlacement placement = placeLevel(level, members, items, containers, filled);
        std::vector<Group> groups = groupLevel(level, members, placement, items, containerGroup);
        outcome.groupCount += groups.size();
        parallelFor(groups.size(), [&](std::size_t group) {
            if (!resolveGroup(groups[group], items, filled)) {
                cancelled.store(true, std::memory_order_relaxed);
            }
        });
        if (cancelled.load()) {
            outcome.cancelled = true;
            return outcome;
        }
    }
    return outcome;
}

}  // namespace tess
