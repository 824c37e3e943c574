#pragma once

#include "analysis/Phase2IntermediateItem.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tess {

// Makes the proposed paths unique within each folder, under the
// destination's rule (canonical equivalence, and letter case on a
// case-insensitive destination): the first claimant keeps a name, every later
// one gets "_N" before its extension and a `collision` issue. Writes one
// result per item.
//
// Folders are resolved level by level, shallowest first; the folders of one
// level are resolved side by side. Before a level is grouped, every item
// takes its folder's final path (numbered, shortened, prefixed), so the
// items of two folders that became one name and were numbered apart stay
// apart under their own folders.
class CollisionResolver {
public:
    // One item's folder in the destination: the index of the item of its
    // original parent folder, or for a flattened file the folder it was moved
    // into; nothing when that folder is not among the items.
    using Containers = std::vector<std::optional<std::size_t>>;

    struct Outcome {
        bool cancelled = false;
        std::size_t groupCount = 0;
    };

    // Flags of an item in the list of resolved items: resolved, and its
    // final path differs from its original path.
    static constexpr unsigned char kResolved = 1;
    static constexpr unsigned char kRenamed = 2;

    CollisionResolver(const SourceFileAnalyzer& analyzer, const SourceFileAnalyzer::CancelCheck& isCancelled);

    // Resolves every item not outside the source root: once its folder is
    // resolved its `currentPath` is its final path (a folder's final path
    // carried down rewrites it before), its `preShorteningPath` is emptied,
    // the issues found are appended to its record's and its flags are set in
    // `filled` (sized like `items`). The items outside the source root are
    // left to the caller.
    Outcome resolve(Phase2Items& items, const Containers& containers, std::vector<unsigned char>& filled) const;

    // The items of one destination folder.
    struct Group {
        // Path key of the folder's path.
        std::string folderKey;
        // Item indices in item order.
        std::vector<std::size_t> members;
    };

    // The claims of one folder. Every path claimed in a folder has the
    // folder's path in front, so a claim is keyed by the path key of its
    // last component alone.
    struct ClaimState {
        // Name key to the path recorded with the claim (a view of the
        // claimant's current path or of a member's original path, both kept
        // unchanged while the folder is resolved).
        std::unordered_map<std::string, std::string_view> claimedPaths;
        // Name key of a contested path to the next number to try.
        std::unordered_map<std::string, std::int64_t> collisionCounters;
        // Name keys held only as the reserved old name of one member (its
        // index), until that member claims a path.
        std::unordered_map<std::string, std::size_t> reservedOldNames;
    };

    // Resolves one folder's members, leaving each one's final path in its
    // working path; does nothing when cancellation is seen at its start
    // (returns false).
    bool resolveGroup(const Group& group, Phase2Items& items, std::vector<unsigned char>& filled) const;

    // Nothing (the path itself is claimed) when nobody in its folder holds
    // it, else the first numbered form of it that nobody holds (appending a
    // `collision` issue).
    // Records the claim. A key held only as the reserved old name of the
    // claiming member itself (`member`) does not count against it. Separator
    // cleaning of numbered names stops once it gives a name it gave before
    // (it ate the number), so the search always ends.
    std::optional<std::string> claimUniquePath(const std::string& path, bool isDirectory, ClaimState& state,
        SourceFileAnalyzer::Issues& issues, std::optional<std::size_t> member = std::nullopt) const;

    // `path` with "_N" before the extension of its last component, the stem
    // cut so that the name fits `nameLimit` where it can.
    static std::string uniqueCollisionName(std::string_view path, std::int64_t number, std::int64_t nameLimit);
    // The same in the measure of UDF names.
    std::string uniqueUdfCollisionName(std::string_view path, std::int64_t number, std::int64_t nameLimit) const;

    // The path as the destination compares it: NFC, lower-cased unless the
    // destination is case-sensitive. Neither mapping reaches across "/", so
    // the key of a path is its folder's key, "/" and its name's key.
    std::string pathKey(std::string_view path) const;

private:
    // Where the items of one level sit: the container (an item index) whose
    // final path is their folder's, or else (kNone) their folder's key.
    struct LevelPlacement {
        std::vector<std::size_t> viaContainer;
        std::vector<std::string> folderKeys;
    };

    // Side by side: every member takes its folder's final path, and one that
    // does not sit right in its container's path gets its folder's key.
    LevelPlacement placeLevel(std::size_t level, const std::vector<std::size_t>& members, Phase2Items& items,
        const Containers& containers, const std::vector<unsigned char>& filled) const;
    // The level's groups, in the order of their first member; takes the keys
    // out of `placement`. `containerGroup` keeps, per container, the last
    // level it was grouped at and its place among that level's containers.
    std::vector<Group> groupLevel(std::size_t level, const std::vector<std::size_t>& members, LevelPlacement& placement,
        const Phase2Items& items, std::vector<std::pair<std::size_t, std::size_t>>& containerGroup) const;

    // Reports limits the final path (`numbered`, or else the item's current
    // path) breaks and sets the item's flags.
    void finish(std::size_t index, const std::optional<std::string>& numbered, Phase2Items& items,
        std::vector<unsigned char>& filled) const;
    // `folder` is the final path of the item's container.
    void carryContainerPath(Phase2IntermediateItem& item, const std::string& folder, std::string_view containerOriginal,
        std::size_t level) const;

    const SourceFileAnalyzer& m_analyzer;
    const SourceFileAnalyzer::CancelCheck& m_isCancelled;
};

}  // namespace tess
