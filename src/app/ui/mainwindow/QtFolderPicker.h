#pragma once

#include "model/FolderPicker.h"

#include <QPointer>
#include <QWidget>

namespace tess {

// The folder chooser of the application: a file dialog in directory mode,
// window-modal over `parent` (application-modal without one), opened without
// a nested event loop.
class QtFolderPicker : public FolderPicker {
public:
    explicit QtFolderPicker(QWidget* parent = nullptr);

    void chooseFolder(const std::string& message, const std::string& prompt, Completion done) override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace tess
