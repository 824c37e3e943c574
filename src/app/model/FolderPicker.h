#pragma once

#include <optional>
#include <string>

namespace tess {

// A modal chooser of one folder (folders only, files not selectable), shown
// with a message and a confirming button text. The application answers with
// a file dialog; tests answer with a fake.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    // The chosen folder's absolute path (its bytes as the file system has
    // them), or nothing when the user cancelled.
    virtual std::optional<std::string> chooseFolder(const std::string& message, const std::string& prompt) = 0;
};

}  // namespace tess
