#pragma once

#include "model/FolderPicker.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace tess {

// The folder chooser of the application: a file dialog in directory mode,
// window-modal over `parent` (application-modal without one), opened without
// a nested event loop. It opens at the folder `startFolder` names when that
// folder exists, else at the home folder, never at the working folder.
class QtFolderPicker : public FolderPicker {
public:
    using StartFolder = std::function<std::optional<std::string>()>;

    explicit QtFolderPicker(QWidget* parent = nullptr);

    // Asked each time the chooser opens (the current source folder).
    void setStartFolder(StartFolder startFolder) { m_startFolder = std::move(startFolder); }
    // The folder the chooser opens at now.
    QString startDirectory() const;

    void chooseFolder(const std::string& message, const std::string& prompt, Completion done) override;

private:
    QPointer<QWidget> m_parent;
    StartFolder m_startFolder;
};

}  // namespace tess
