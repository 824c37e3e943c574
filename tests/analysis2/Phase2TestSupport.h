#pragma once

#include "analysis/FileTransformationIssue.h"
#include "analysis/FileTransformationResult.h"
#include "analysis/SourceFileAnalyzer.h"
#include "core/Concurrency.h"
#include "rules/TransformationSettings.h"

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace tess::test {

// Collects the analyser's log lines (from any thread) as "LEVEL message".
class Phase2LogCapture {
public:
    SourceFileAnalyzer::LogSink sink()
    {
        return [this](std::string message, std::string_view level, std::string_view, int) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(std::string(level) + " " + message);
        };
    }
    std::vector<std::string> lines() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    std::vector<std::string> linesStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const std::string& line : lines()) {
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// Forces the processor count for one scope.
class ScopedProcessorCount {
public:
    explicit ScopedProcessorCount(std::size_t count) { setProcessorCountOverride(count); }
    ~ScopedProcessorCount() { setProcessorCountOverride(0); }
    ScopedProcessorCount(const ScopedProcessorCount&) = delete;
    ScopedProcessorCount& operator=(const ScopedProcessorCount&) = delete;
};

// No limits, no table, none of the built-in lists, case-sensitive.
inline TransformationSettings bareSettings()
{
    TransformationSettings settings;
    settings.stripControlCharacters = false;
    settings.normalizeDeceptiveWhitespace = false;
    settings.stripZeroWidthCharacters = false;
    return settings;
}

// A phase-1 record as phase 1 would hand it over.
inline SourceFileAnalyzer::Phase1Result record(const std::string& original, const std::string& transformed, bool isDirectory,
    SourceFileAnalyzer::Issues issues = {})
{
    SourceFileAnalyzer::Phase1Result r;
    r.originalFile = FileItem {"/src/" + original, isDirectory};
    r.originalRelativePath = original;
    r.transformedPath = transformed;
    r.transformations = std::move(issues);
    return r;
}

inline std::map<std::string, std::string> finalPathsByOriginal(const std::vector<FileTransformationResult>& results)
{
    std::map<std::string, std::string> out;
    for (const FileTransformationResult& result : results) {
        out[result.originalRelativePath] = result.finalRelativePath;
    }
    return out;
}

inline const FileTransformationResult* resultFor(const std::vector<FileTransformationResult>& results, const std::string& original)
{
    for (const FileTransformationResult& result : results) {
        if (result.originalRelativePath == original) {
            return &result;
        }
    }
    return nullptr;
}

// The result of the item with that original relative path (throws when none).
inline const FileTransformationResult& resultOf(const std::vector<FileTransformationResult>& results, const std::string& original)
{
    if (const FileTransformationResult* result = resultFor(results, original)) {
        return *result;
    }
    throw std::out_of_range("no result for " + original);
}

}  // namespace tess::test

namespace tess::test {

inline SourceFileAnalyzer::AnalysisResult runPhase2(const SourceFileAnalyzer& analyzer,
    std::vector<SourceFileAnalyzer::Phase1Result> records, const SourceFileAnalyzer::CancelCheck& isCancelled = {})
{
    SourceFileAnalyzer::Phase1Output phase1;
    phase1.results = std::move(records);
    return analyzer.runPhase2(std::move(phase1), isCancelled);
}

inline SourceFileAnalyzer::AnalysisResult analyzeUnderSrc(const SourceFileAnalyzer& analyzer, const std::vector<FileItem>& items)
{
    return analyzer.analyze(items, "/src", "test", [] { return false; });
}

inline FileItem dir(const std::string& relative)
{
    return FileItem {"/src/" + relative, true};
}
inline FileItem file(const std::string& relative)
{
    return FileItem {"/src/" + relative, false};
}

}  // namespace tess::test
