#pragma once

#include "core/Error.h"
#include "history/HistoryEntry.h"
#include "history/HistoryFileOps.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

class HistoryTokenCursor;

// The operations on transformation-history files. One file holds one
// HistoryEntry as NUL-separated tokens:
//   "TSHISTORY", "1", timestamp, scanRoot, operation, parentHistoryID,
//   then five tokens per record: original path, final path, type, status, error.
// Path tokens (the scan root and the records' two paths) keep their raw
// bytes; every other token is UTF-8 text. Stateless; safe from any thread.
class TransformationHistory {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    // One row of the history list.
    struct HeaderSummary {
        std::string id;  // the file name without its extension
        std::string url;  // the file's path
        TimePoint timestamp;
        std::string scanRoot;
        HistoryOperation operation = HistoryOperation::rename;
        std::int64_t recordCount = 0;  // (tokens - 6) / 5, remainder dropped
        std::int64_t userFacingCount = 0;  // records of type "F", "D" or "RD", any status
        // What the batch actually did, by the one count rule (countsAsDone):
        // the number the history row and the undo alert show.
        std::int64_t doneCount = 0;
        // The journal of a batch that never finished (a crash, a kill): it
        // lists what was done up to then and can be undone.
        bool interrupted = false;
        // The file was cut short after it was written (its seal does not
        // match, or it ends inside a record): records after the cut are
        // unknown.
        bool incomplete = false;

        friend bool operator==(const HeaderSummary&, const HeaderSummary&) = default;
    };

    static constexpr std::string_view kMagic = "TSHISTORY";
    static constexpr std::string_view kVersion = "1";
    static constexpr std::string_view kExtension = "tshistory";
    static constexpr std::size_t kHeaderTokenCount = 6;
    static constexpr std::size_t kTokensPerRecord = 5;
    // The longest file name save() produces, in UTF-8 bytes.
    static constexpr std::size_t kMaxFileNameBytes = 200;

    // The folder "history" in the application's data folder.
    static std::string historyDirectory();

    // Writes the entry into a new file of `folder` (default: historyDirectory(),
    // created when missing) and returns the file's path. The file is written
    // to a temporary file, synced and moved into place without replacing
    // anything: a name already taken gets "-2", "-3", ... before the extension.
    // Where the file system offers neither a no-replace rename nor hard
    // links, the file is written under a name created exclusively instead.
    static Result<std::string> save(const HistoryEntry& entry, const std::optional<std::string>& folder = std::nullopt,
        HistoryFileOps& ops = HistoryFileOps::posix());

    // Strict parse of a whole file; the first failing check ends it.
    static Result<HistoryEntry> parse(std::string_view bytes);

    // The parse of a file that may have been cut short: the header must be
    // sound and every record but the last must be whole and valid; a last
    // record that is cut (or damaged by the cut) is left out and `cut` set.
    // Damage anywhere else is the strict parse's error.
    static Result<HistoryEntry> parseUpToCut(std::string_view bytes, bool& cut);

    // The header of `bytes`, read through `cursor`, which then stands at the
    // first record; `headerEnd` receives the size of the bytes it takes. The
    // strict parse's error when the header is cut short or not sound.
    static Result<HistoryEntry> parseHeader(std::string_view bytes, HistoryTokenCursor& cursor, std::size_t& headerEnd);

    // Lenient read of a file's header for the list; nothing on any failure.
    static std::optional<HeaderSummary> readHeader(const std::string& path);

    // The readable history files of `folder` (default: historyDirectory()),
    // newest first; hidden files and other extensions are skipped. A folder
    // that cannot be listed gives an empty list.
    static std::vector<HeaderSummary> listHistories(const std::optional<std::string>& folder = std::nullopt);

    // Removes one history file (or journal).
    static Status deleteHistory(const std::string& path);

    // The one count rule: a record counts as done when it has status ok and
    // is a file or folder rename or, in a rename batch, a removed folder, or,
    // in an undo, a folder the undo made again. Failed records, failed
    // verifications, folders a rename batch created and stored metadata
    // (such as the moves of a folder merge) never count.
    static bool countsAsDone(HistoryOperation operation, HistoryRecordType type, HistoryRecordStatus status);
    static std::int64_t doneCount(const HistoryEntry& entry);

    // Appends one record as the file holds it: a NUL, then its five tokens.
    static void appendRecord(std::string& out, const HistoryRecord& record);

    // What an undo of `entry` does, in order: "RD" folders to recreate
    // (shallowest first), "D" moves to reverse (outer first), "F" moves to
    // reverse (entry order), "CD" folders to remove (deepest first). Only
    // records with status ok take part; paths of "D" and "F" are swapped.
    static HistoryEntry undoPlan(const HistoryEntry& entry);

    // "yyyy-MM-dd_HHmmss" (local time) + "_" + the scan root's last component
    // ("/", " " and ":" made "_", at most 50 characters) + ".tshistory", cut
    // on a character boundary so the whole name has at most kMaxFileNameBytes.
    static std::string makeFileName(TimePoint timestamp, std::string_view scanRoot);

    // The file content. The version token is always "1". A NUL inside a token
    // (impossible in a real path) is written as U+FFFD so the token structure
    // always holds; the error and parent-id texts are written as valid UTF-8.
    static std::string serialize(const HistoryEntry& entry);

    // Creates `folder` with its missing parents unless a folder is there.
    static Status ensureHistoryDirectory(const std::string& folder);
    // The same, answering 0 or the reason as an errno.
    static int makeHistoryDirectory(const std::string& folder);

private:
    static std::string makeFileName(TimePoint timestamp, std::string_view scanRoot, unsigned sequence);
};

}  // namespace tess
