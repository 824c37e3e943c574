#pragma once

#include "ui/widgets/Workspace.h"

#include <QString>
#include <QUrl>

#include <string>
#include <vector>

namespace tess::test {

// Records what the views ask of the desktop.
class FakeWorkspace : public Workspace {
public:
    void revealPath(const std::string& absolutePath) override { revealed.push_back(absolutePath); }
    void openUrl(const QUrl& url) override { opened.push_back(url); }
    void copyText(const QString& text) override { copied.push_back(text); }

    std::vector<std::string> revealed;
    std::vector<QUrl> opened;
    std::vector<QString> copied;
};

}  // namespace tess::test
