#pragma once

#include "analysis/FileTransformationResult.h"
#include "index/IndexedFile.h"
#include "ui/widgets/ColorResource.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// What the rows of the issue list show and offer for one indexed item,
// as plain values: the row delegates and the list view apply them.

enum class RowStyle {
    inlineRow,
    sideBySide,
};

// An item is shown with its proposal, marked and renameable, when it has a
// proposed path and needs a rename.
bool isRenameable(const IndexedFile& file);

// The tooltip text of a row's paths: the absolute path (valid-UTF-8
// reading), then an empty line and the change description when there is
// one. Plain text: convert it before use as a rich-text tooltip.
std::string rowPathToolTip(const IndexedFile& file, const std::string& changeDescription);

enum class RowAction {
    rename,
    reveal,
    copyPath,
};

struct RowMenuEntry {
    RowAction action;
    std::string title;
    std::string_view symbol;
    bool dividerAfter = false;
    bool enabled = true;

    friend bool operator==(const RowMenuEntry&, const RowMenuEntry&) = default;
};

// A row's context menu. The rename entry ("Rename to " and the proposal in
// inline rows, "Rename" in side-by-side rows) is offered for a renameable
// item when the host offers single renames; it is disabled while
// `renameAllowed` is false (a scan or a rename is running).
std::vector<RowMenuEntry> rowMenuEntries(RowStyle style, const IndexedFile& file, bool renameOffered, bool renameAllowed);

// The one-item list handed to the rename workflow; absent for an item that
// needs no rename or has no proposal.
std::optional<FileTransformationResult> singleRenameResult(const IndexedFile& file);

// The list's content when no row passes: nothing indexed has issues, or the
// filters hide every row.
struct EmptyListState {
    std::string_view symbol;
    std::optional<ColorName> symbolColor;  // absent: the secondary label colour
    std::string title;
    std::string text;

    friend bool operator==(const EmptyListState&, const EmptyListState&) = default;
};
EmptyListState emptyListState(long long issueCount, long long totalIndexed);

// The help text of the display-mode button.
std::string_view displayModeHelp(bool showSideBySide);

}  // namespace tess
