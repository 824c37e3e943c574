#pragma once

#include "core/Error.h"
#include "history/HistoryEntry.h"
#include "history/TransformationHistory.h"
#include "rename/BatchRecorder.h"
#include "rename/FileSystemOps.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

// The record of a batch while it runs: a file "<name>.tsjournal" in the
// history folder, in the history file format, created (and made durable)
// before the batch's first step and appended to before every step.
// Each record reaches the kernel before its step is taken, so a killed
// process leaves a record of everything it did. Against a power loss the
// records are synced to disk every kSyncEvery records and at each folder
// merge, but never more often than every kSyncInterval: on a busy disk a
// sync can take longer than the steps it covers. An item a folder merge
// moves along is an "SM" record (original path, final path); a subfolder the
// merge emptied and removed, an "RD" record.
//
// A step announced and then withdrawn leaves an ok record followed by a
// fail record of the same step; a reader cancels the two. Steps run one
// after the other, so a record followed by any other was taken or
// withdrawn; only the last step (or the last chain of folders made at once)
// may have been announced and never taken. The first reader of a journal
// left behind checks those steps against the disk, appends a withdrawal for
// each that did not happen and a "settled" mark (an "SM" record with two
// empty paths), so every later reading counts the same. A batch that ran
// to its end writes the mark itself (`markComplete`).
//
// When the batch has finished and its history file is saved, `finish`
// removes the journal. A journal left behind is a batch that never
// finished: the history lists it as interrupted, and its undo restores
// what it did.
//
// While its batch runs, the journal holds an exclusive lock on its file;
// the list skips a journal whose lock is held.
class HistoryJournal final : public BatchRecorder {
public:
    static constexpr std::string_view kExtension = "tsjournal";
    static constexpr std::uint64_t kSyncEvery = 256;
    static constexpr std::chrono::milliseconds kSyncInterval {50};

    // Creates the journal of a batch described by `header` (its timestamp,
    // scan root, operation and parent id; its records are ignored) in
    // `folder` (default: the history folder, created when missing). The
    // error's message is the sentence for the user: without its journal a
    // batch must not start.
    static Result<std::unique_ptr<HistoryJournal>> begin(const HistoryEntry& header,
        const std::optional<std::string>& folder = std::nullopt);

    ~HistoryJournal() override;
    HistoryJournal(const HistoryJournal&) = delete;
    HistoryJournal& operator=(const HistoryJournal&) = delete;

    Status willDo(Step step, const std::string& from, const std::string& to) override;
    Status didFail(Step step, const std::string& from, const std::string& to, const std::string& error) override;
    void checkpoint() override;

    // Records a step taken outside the renamer (a folder the clean-up is
    // about to remove, as a "RD" record).
    Status append(const HistoryRecord& record);

    // Every announced step has been taken or withdrawn: writes the settled
    // mark and syncs, so a journal the batch cannot remove reads as it is.
    Status markComplete();

    // The batch's history file is saved: the journal is no longer needed.
    Status finish();

    const std::string& path() const { return m_path; }

    // --- reading ---------------------------------------------------------

    // The entry a journal holds: the header must be sound; records are
    // taken up to the first that is cut or damaged, and each withdrawn
    // step is cancelled against its announcement. The settled mark is not
    // among the records.
    static Result<HistoryEntry> parseJournal(std::string_view bytes);

    // The bytes of a journal left behind, settled: steps that may never
    // have been taken are checked against the disk under the journal's scan
    // root, and what was found is appended (to the file when its lock can
    // be taken and it can be written; to the bytes returned in any case).
    // A journal whose batch still runs is returned as it is.
    static Result<std::string> readSettled(const std::string& path, FileSystemOps& fs = FileSystemOps::posix());

    // The history list's row of a journal left behind (interrupted); nothing
    // for a journal whose batch still runs, or one that cannot be read.
    static std::optional<TransformationHistory::HeaderSummary> readSummary(const std::string& path);

    // Another batch holds the journal's lock: it is still running.
    static bool isLive(const std::string& path);

private:
    HistoryJournal(int fd, std::string path, std::uint64_t size);
    Status write(const HistoryRecord& record);

    int m_fd;
    std::string m_path;
    std::uint64_t m_size;
    // Syncs what was written unless the last sync is more recent than
    // kSyncInterval (or `force`).
    void sync(bool force);

    std::uint64_t m_unsynced = 0;
    std::chrono::steady_clock::time_point m_lastSync;
    std::string m_buffer;
};

}  // namespace tess
