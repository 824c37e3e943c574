#pragma once

#include "model/FolderPicker.h"

#include <QPointer>
#include <QWidget>

namespace tess {

// The folder chooser of the application: a modal file dialog in directory
// mode over `parent` (may be null).
class QtFolderPicker : public FolderPicker {
public:
    explicit QtFolderPicker(QWidget* parent = nullptr);

    std::optional<std::string> chooseFolder(const std::string& message, const std::string& prompt) override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace tess
