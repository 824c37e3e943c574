#pragma once

#include "LogCapture.h"
#include "TempDir.h"
#include "history/HistoryEntry.h"
#include "rename/SourceFileRenamer.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tess::test {

// A scan root inside a temporary folder, with a sibling folder outside it.
class RenamerTest : public ::testing::Test {
protected:
    RenamerTest()
    {
        m_dir.makeDir("root");
        m_root = m_dir / "root";
        LogCapture::clear();
    }

    const std::string& root() const { return m_root; }
    std::string at(const std::string& relative) const { return m_root + "/" + relative; }
    void write(const std::string& relative, const std::string& contents = "x") const { m_dir.writeFile("root/" + relative, contents); }
    void makeDir(const std::string& relative) const { m_dir.makeDir("root/" + relative); }
    bool exists(const std::string& relative) const { return m_dir.exists("root/" + relative); }
    std::string read(const std::string& relative) const { return m_dir.readFile("root/" + relative); }
    const TempDir& dir() const { return m_dir; }

    static RenameInstruction file(std::string from, std::string to) { return {std::move(from), std::move(to), false}; }
    static RenameInstruction folder(std::string from, std::string to) { return {std::move(from), std::move(to), true}; }

    // A folder "a:b" renamed to "a_b" after its file "x:y" moved there as
    // "x_y": the batch makes "a_b" in place of "a:b" and merges the rest in.
    static std::vector<RenameInstruction> mergedFolderBatch() { return {file("a:b/x:y", "a_b/x_y"), folder("a:b", "a_b")}; }
    // The records the rename workflow writes for mergedFolderBatch.
    HistoryEntry mergedFolderRecords() const
    {
        HistoryEntry entry;
        entry.scanRoot = root();
        entry.records = {
            {"a:b/x:y", "a_b/x_y", HistoryRecordType::file, HistoryRecordStatus::ok, ""},
            {"a:b", "", HistoryRecordType::removedDirectory, HistoryRecordStatus::ok, ""},
            {"a_b", "", HistoryRecordType::createdDirectory, HistoryRecordStatus::ok, ""},
        };
        return entry;
    }

    static std::vector<std::string> originals(const SourceFileRenamer::RenameBatchResult& result)
    {
        std::vector<std::string> out;
        for (const auto& item : result.renamed)
            out.push_back(item.original);
        return out;
    }

private:
    TempDir m_dir;
    std::string m_root;
};

}  // namespace tess::test
