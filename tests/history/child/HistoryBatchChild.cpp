// Runs one recorded rename batch, and kills itself with SIGKILL at a chosen
// file-system change, so that a test can look at what a killed batch left.
//
//   history_batch_child ROOT HISTORY_FOLDER INSTRUCTIONS KILL_AT WHEN
//
// INSTRUCTIONS holds (current, target, "0"/"1" for a folder) triples, each
// token ended by a NUL. KILL_AT counts the changes (moves, folders made or
// removed, files removed) from 0; -1 never kills. WHEN is "before" (the
// change is not made) or "after" (made, then killed); "end" kills after the
// whole batch, before its history file is saved; "unrecorded" runs the batch
// without a journal. Prints the number of
// changes made to stdout when it is not killed.

#include "history/HistoryJournal.h"
#include "history/TransformationHistory.h"
#include "rename/PosixFileSystemOps.h"
#include "rename/SourceFileRenamer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace tess;

class KillingFileSystem : public PosixFileSystemOps {
public:
    KillingFileSystem(long killAt, bool after)
        : m_killAt(killAt)
        , m_after(after)
    {
    }

    int renameNoReplace(const std::string& from, const std::string& to) override
    {
        return change([&] { return PosixFileSystemOps::renameNoReplace(from, to); });
    }
    int makeDirectory(const std::string& path, mode_t mode) override
    {
        return change([&] { return PosixFileSystemOps::makeDirectory(path, mode); });
    }
    int removeDirectory(const std::string& path) override
    {
        return change([&] { return PosixFileSystemOps::removeDirectory(path); });
    }
    int removeFile(const std::string& path) override
    {
        return change([&] { return PosixFileSystemOps::removeFile(path); });
    }

    long changes() const { return m_changes; }

private:
    template <class Fn>
    int change(Fn fn)
    {
        const bool killNow = m_changes++ == m_killAt;
        if (killNow && !m_after) {
            std::raise(SIGKILL);
        }
        const int result = fn();
        if (killNow) {
            std::raise(SIGKILL);
        }
        return result;
    }

    long m_killAt;
    bool m_after;
    long m_changes = 0;
};

std::vector<RenameInstruction> readInstructions(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    std::vector<std::string> tokens;
    std::size_t start = 0;
    for (std::size_t nul = text.find('\0'); nul != std::string::npos; nul = text.find('\0', start)) {
        tokens.push_back(text.substr(start, nul - start));
        start = nul + 1;
    }
    std::vector<RenameInstruction> out;
    for (std::size_t i = 0; i + 2 < tokens.size(); i += 3) {
        out.push_back({tokens[i], tokens[i + 1], tokens[i + 2] == "1"});
    }
    return out;
}

std::vector<HistoryRecord> recordsOf(const std::vector<RenameInstruction>& instructions,
    const SourceFileRenamer::RenameBatchResult& batch)
{
    std::vector<HistoryRecord> records;
    const auto typeOf = [&](const std::string& path) {
        for (const RenameInstruction& instruction : instructions) {
            if (instruction.currentRelativePath == path) {
                return instruction.isDirectory ? HistoryRecordType::directory : HistoryRecordType::file;
            }
        }
        return HistoryRecordType::file;
    };
    for (const auto& pair : batch.renamed) {
        records.push_back({pair.original, pair.newPath, typeOf(pair.original), HistoryRecordStatus::ok, {}});
    }
    for (const auto& failure : batch.failed) {
        records.push_back({failure.path, failure.path, typeOf(failure.path), HistoryRecordStatus::fail, failure.error.message});
    }
    for (const std::string& folder : batch.mergedDirectories) {
        records.push_back({folder, {}, HistoryRecordType::removedDirectory, HistoryRecordStatus::ok, {}});
    }
    for (const std::string& folder : batch.createdDirectories) {
        records.push_back({folder, {}, HistoryRecordType::createdDirectory, HistoryRecordStatus::ok, {}});
    }
    return records;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: history_batch_child ROOT HISTORY INSTRUCTIONS KILL_AT before|after|end\n");
        return 2;
    }
    const std::string root = argv[1];
    const std::string history = argv[2];
    const std::string when = argv[5];
    KillingFileSystem fs(std::strtol(argv[4], nullptr, 10), when == "after");
    const std::vector<RenameInstruction> instructions = readInstructions(argv[3]);

    HistoryEntry entry;
    entry.timestamp = std::chrono::system_clock::now();
    entry.scanRoot = root;
    entry.operation = HistoryOperation::rename;
    auto journal = HistoryJournal::begin(entry, history);
    if (!journal) {
        std::fprintf(stderr, "%s\n", journal.error().message.c_str());
        return 3;
    }
    // "unrecorded" runs the batch without its journal, for comparing times.
    const auto batch = when == "unrecorded"
        ? SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain, {}, {}, fs)
        : SourceFileRenamer::renameFiles(instructions, root, kAppErrorDomain, {}, {}, fs, **journal);
    if (when == "end") {
        std::raise(SIGKILL);
    }
    entry.records = recordsOf(instructions, batch);
    if (!TransformationHistory::save(entry, history) || !(*journal)->finish()) {
        return 4;
    }
    std::printf("%ld\n", fs.changes());
    return batch.failed.empty() ? 0 : 5;
}
