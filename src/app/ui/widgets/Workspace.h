#pragma once

#include <QString>
#include <QUrl>

#include <string>
#include <string_view>

namespace tess {

// The desktop around the application: the file manager, the default
// browser and the clipboard. Views reach it through this interface so tests
// can answer instead.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Shows the item in the file manager, selected. `absolutePath` is the
    // path's bytes as stored, which need not be valid UTF-8.
    virtual void revealPath(const std::string& absolutePath) = 0;
    virtual void openUrl(const QUrl& url) = 0;
    // Replaces the clipboard's contents with plain text.
    virtual void copyText(const QString& text) = 0;

    // A file URL that keeps every byte of `absolutePath` (bytes outside
    // the unreserved set are percent-encoded).
    static QUrl fileUrl(std::string_view absolutePath);
};

}  // namespace tess
