#include "ui/history/HistoryListViewState.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

namespace state = HistoryListViewState;

TEST(HistoryListViewStateTest, CountTextTakesTheSingularForOneOnly)
{
    EXPECT_EQ(state::countText(0), "0 operations");
    EXPECT_EQ(state::countText(1), "1 operation");
    EXPECT_EQ(state::countText(2), "2 operations");
    EXPECT_EQ(state::countText(5000), "5000 operations");
    EXPECT_EQ(state::itemsText(1), "1 items");
}

TEST(HistoryListViewStateTest, DetailTextSaysWhatTheRecordLacks)
{
    struct Case {
        bool interrupted;
        bool incomplete;
        const char* text;
    };
    for (const Case& c : {Case {false, false, "4 items"}, Case {true, false, "4 items, interrupted"},
             Case {false, true, "4 items, incomplete"}, Case {true, true, "4 items, interrupted, incomplete"}}) {
        EXPECT_EQ(state::detailText(4, c.interrupted, c.incomplete), c.text);
    }
}

TEST(HistoryListViewStateTest, FolderNameIsTheScanRootsLastComponent)
{
    EXPECT_EQ(state::folderName("/home/ann/Photos"), "Photos");
    EXPECT_EQ(state::folderName("/home/ann/Photos/"), "Photos");
    EXPECT_EQ(state::folderName("/"), "/");
    EXPECT_EQ(state::folderName("/srv/<b>x&amp; a&b"), "<b>x&amp; a&b");
    EXPECT_EQ(state::folderName("/srv/caf\xE9"), "caf\xE9");
}

TEST(HistoryListViewStateTest, UndoBatchesHaveTheBadgeAndNoUndoButton)
{
    EXPECT_EQ(state::rowLook(HistoryOperation::rename), (state::RowLook {"pencil.circle", false, false, true}));
    EXPECT_EQ(state::rowLook(HistoryOperation::undo), (state::RowLook {"arrow.uturn.backward.circle", true, true, false}));
}

TEST(HistoryListViewStateTest, UndoIsOfferedOnlyInTheOpenFolderTheBatchWasMadeIn)
{
    struct Case {
        const char* name;
        const char* scanRoot;
        std::optional<std::string> source;
        bool enabled;
        const char* toolTip;
        bool batchRunning = false;
        bool resolvesToSource = false;  // the two paths lead to one folder
    };
    const Case cases[] = {
        {"same folder", "/data/photos", "/data/photos", true, "Undo this rename"},
        {"same folder, trailing slash", "/data/photos/", "/data/photos", true, "Undo this rename"},
        {"other folder", "/data/photos", "/data/music", false,
            "This rename was made in another folder. Open that folder as the source to undo it."},
        {"a folder inside", "/data/photos/2024", "/data/photos", false,
            "This rename was made in another folder. Open that folder as the source to undo it."},
        {"no folder open", "/data/photos", std::nullopt, false,
            "Open the folder this rename was made in to undo it: no source folder is open."},
        {"same folder, a batch runs", "/data/photos", "/data/photos", false,
            "A rename or undo is running. Undo this rename when it has finished.", true},
        {"other folder, a batch runs", "/data/photos", "/data/music", false,
            "This rename was made in another folder. Open that folder as the source to undo it.", true},
        {"the same folder by another spelling", "/data/photos", "/mnt/photos", true, "Undo this rename", false, true},
        {"the same folder by another spelling, a batch runs", "/data/photos", "/mnt/photos", false,
            "A rename or undo is running. Undo this rename when it has finished.", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const state::UndoAvailability availability
            = state::undoAvailability(c.scanRoot, c.source, c.batchRunning, c.resolvesToSource);
        EXPECT_EQ(availability.enabled, c.enabled);
        EXPECT_EQ(availability.toolTip, c.toolTip);
    }
}

TEST(HistoryListViewStateTest, AlertMessages)
{
    EXPECT_EQ(state::deleteMessage("Photos", "Dec 10, 2026 at 9:30 AM"),
        "Delete the history entry for Photos from Dec 10, 2026 at 9:30 AM?");
    EXPECT_EQ(state::undoMessage("Photos", 1),
        "Reverse the rename operation on Photos? This will restore 1 items to their original names.");
}

}  // namespace
}  // namespace tess
