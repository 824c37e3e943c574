#pragma once

#include "analysis/SourceFileAnalyzer.h"
#include "core/BoxedOptional.h"

#include <optional>
#include <string>
#include <vector>

namespace tess {

// The working record of one item during the cross-item passes.
struct Phase2IntermediateItem {
    // The phase-1 record, owned by the caller; its issue list and shortened
    // components are edited in place.
    SourceFileAnalyzer::Phase1Result* item = nullptr;
    // The relative path proposed so far.
    std::string currentPath;
    // currentPath as it stood just before smart shortening; only for the
    // items handed to it (few: held out of line).
    BoxedOptional<std::string> preShorteningPath;
};

using Phase2Items = std::vector<Phase2IntermediateItem>;

}  // namespace tess
