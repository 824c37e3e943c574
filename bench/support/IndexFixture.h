#pragma once

// An index database of generated items for the benchmarks that restore the
// view model from it. Header-only.

#include "BenchEnvironment.h"
#include "index/FileIndexDatabase.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tess::bench {

struct IndexFixture {
    std::string data;  // holds the index
    std::string tree;  // the (empty) source folder the rows belong to
    std::string config;  // for the defaults file
    std::int64_t issues = 0;
};

// Writes `count` items, item i described by `describe` (which gets the tree's
// path and fills the result), and one completed scan record. Aborts when the
// index cannot be opened.
inline IndexFixture writeIndexFixture(std::int64_t count,
    const std::function<void(std::int64_t, const std::string&, FileTransformationResult&)>& describe)
{
    IndexFixture fixture {makeTempDir("data"), makeTempDir("tree"), makeTempDir("config")};
    auto opened = FileIndexDatabase::open(fixture.data + "/" + FileIndexDatabase::kFileName);
    if (!opened.ok()) {
        std::abort();
    }
    std::vector<FileTransformationResult> batch;
    for (std::int64_t i = 0; i < count; ++i) {
        FileTransformationResult result;
        describe(i, fixture.tree, result);
        fixture.issues += result.transformations.empty() ? 0 : 1;
        batch.push_back(std::move(result));
        if (batch.size() == 50000 || i + 1 == count) {
            opened.value()->upsertFiles(batch, fixture.tree, std::chrono::system_clock::now());
            batch.clear();
        }
    }
    const std::int64_t record = opened.value()->startScanRecord(fixture.tree, "Manual");
    opened.value()->finishScanRecord(record, count, 0, 0, 0, fixture.issues, "completed");
    opened.value()->close();
    return fixture;
}

// The fixtures of one program, written once per size.
class IndexFixtures {
public:
    using Describe = std::function<void(std::int64_t, const std::string&, FileTransformationResult&)>;

    explicit IndexFixtures(Describe describe)
        : m_describe(std::move(describe))
    {
    }

    const IndexFixture& of(std::int64_t count)
    {
        auto found = m_fixtures.find(count);
        if (found == m_fixtures.end()) {
            found = m_fixtures.emplace(count, writeIndexFixture(count, m_describe)).first;
        }
        return found->second;
    }

private:
    Describe m_describe;
    std::map<std::int64_t, IndexFixture> m_fixtures;
};

// The rows the issue list's benchmarks restore: "Projects/Client N/Report:
// Draft i.txt" renamed for its ":", one in eight a folder, one in three with
// a second issue; written once per size.
inline const IndexFixture& reportDraftsFixture(std::int64_t count)
{
    static IndexFixtures fixtures([](std::int64_t i, const std::string& tree, FileTransformationResult& result) {
        const std::string folder = "Projects/Client " + std::to_string(i / 1000) + "/";
        result.originalRelativePath = folder + "Report: Draft " + std::to_string(i) + ".txt";
        result.originalFile = FileItem {tree + "/" + result.originalRelativePath, i % 8 == 0};
        result.finalRelativePath = folder + "Report_ Draft " + std::to_string(i) + ".txt";
        result.transformations = {FileTransformationIssue::CharacterTransformed {{":"}, "", ""}};
        if (i % 3 == 0) {
            result.transformations.push_back(FileTransformationIssue::PathTooLong {300, 255});
        }
        result.needsRename = true;
    });
    return fixtures.of(count);
}

}  // namespace tess::bench
