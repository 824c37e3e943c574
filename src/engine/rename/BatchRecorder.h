#pragma once

#include "core/Error.h"

#include <string>

namespace tess {

// Receives every step of a rename batch that changes the tree, before the
// step is taken, so that a batch stopped at any moment (a crash, a kill)
// leaves a record of everything it did. A step announced with `willDo` that
// then fails is withdrawn with `didFail`. The renamer takes no step whose
// announcement failed, and stops the batch there.
class BatchRecorder {
public:
    enum class Step { moveFile,
        moveFolder,
        createFolder,
        removeFolder,  // a merged source folder, or one the clean-up found empty
        mergeMove,  // an item a folder merge moves into the folder of the same final name
        mergeRemoveFolder };  // a subfolder the merge emptied into its counterpart

    virtual ~BatchRecorder() = default;

    // Paths are root-relative; `to` is empty for the steps on one folder.
    virtual Status willDo(Step step, const std::string& from, const std::string& to) = 0;
    virtual Status didFail(Step step, const std::string& from, const std::string& to, const std::string& error) = 0;
    // A point after which what was announced should survive a power loss
    // (before a folder merge); best effort.
    virtual void checkpoint() = 0;
};

}  // namespace tess
