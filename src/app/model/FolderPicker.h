#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tess {

// A chooser of one folder (folders only, files not selectable), shown with a
// message and a confirming button text. The application answers with a
// window-modal file dialog; tests answer with a fake.
class FolderPicker {
public:
    // Called on the main thread with the chosen folder's absolute path (its
    // bytes as the file system has them), or nothing when the user cancelled.
    using Completion = std::function<void(const std::optional<std::string>& folder)>;

    virtual ~FolderPicker() = default;
    // Shows the chooser and returns; `done` follows once, possibly at once.
    virtual void chooseFolder(const std::string& message, const std::string& prompt, Completion done) = 0;
};

}  // namespace tess
