#include "ui/issuelist/RowPresentation.h"

#include "text/Text.h"

namespace tess {

bool isRenameable(const IndexedFile& file)
{
    return file.needsRename && file.proposedRename.has_value();
}

std::string rowPathToolTip(const IndexedFile& file, const std::string& changeDescription)
{
    std::string tip = text::displayPath(file.path);
    if (!changeDescription.empty()) {
        tip += "\n\n";
        tip += changeDescription;
    }
    return tip;
}

std::vector<RowMenuEntry> rowMenuEntries(RowStyle style, const IndexedFile& file, bool renameOffered, bool renameAllowed)
{
    std::vector<RowMenuEntry> entries;
    if (renameOffered && isRenameable(file)) {
        std::string title = style == RowStyle::inlineRow ? "Rename to " + text::displayPath(*file.proposedRename) : "Rename";
        entries.push_back({RowAction::rename, std::move(title), "pencil", true, renameAllowed});
    }
    entries.push_back({RowAction::reveal, "Reveal in File Manager", "magnifyingglass", false, true});
    entries.push_back({RowAction::copyPath, "Copy Path", "doc.on.clipboard", false, true});
    return entries;
}

std::optional<FileTransformationResult> singleRenameResult(const IndexedFile& file)
{
    if (!isRenameable(file)) {
        return std::nullopt;
    }
    FileTransformationResult result;
    result.originalFile = FileItem {file.path, file.isDirectory};
    result.originalRelativePath = file.relativePath;
    result.finalRelativePath = *file.proposedRename;
    result.needsRename = true;
    result.shortenedComponents = file.shortenedComponents;
    return result;
}

EmptyListState emptyListState(long long issueCount, long long totalIndexed)
{
    if (issueCount == 0) {
        return {"checkmark.circle", ColorName::brandGreen, "No Issues Found", std::to_string(totalIndexed) + " files indexed, all compatible."};
    }
    return {"magnifyingglass", std::nullopt, "No Matching Results", "Try adjusting your search or filters."};
}

std::string_view displayModeHelp(bool showSideBySide)
{
    return showSideBySide ? "Switch to inline view" : "Switch to side-by-side view";
}

}  // namespace tess
