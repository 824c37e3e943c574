#pragma once

#include "analysis/RelativePath.h"
#include "analysis/SourceFileAnalyzer.h"
#include "core/Concurrency.h"
#include "rules/TransformationSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tess::test {

// Collects the analyser's log lines (from any thread) as "LEVEL message".
class AnalyzerLogSink {
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
class ProcessorCountOverride {
public:
    explicit ProcessorCountOverride(std::size_t count) { setProcessorCountOverride(count); }
    ~ProcessorCountOverride() { setProcessorCountOverride(0); }
    ProcessorCountOverride(const ProcessorCountOverride&) = delete;
    ProcessorCountOverride& operator=(const ProcessorCountOverride&) = delete;
};

// Settings with no limits, no table and none of the built-in lists: each test
// switches on what it exercises.
inline TransformationSettings plainSettings()
{
    TransformationSettings settings;
    settings.stripControlCharacters = false;
    settings.normalizeDeceptiveWhitespace = false;
    settings.stripZeroWidthCharacters = false;
    return settings;
}

// Issues that report without changing a name: a path left too long or too
// deep, a file name that cannot be fitted (with its length).
inline bool wouldBeFixed(const FileTransformationIssue& issue, const SourceFileAnalyzer::Issues& all)
{
    using Kind = FileTransformationIssue::Kind;
    const bool unresolvable = std::any_of(all.begin(), all.end(),
        [](const FileTransformationIssue& other) { return other.kind() == Kind::filenameUnresolvable; });
    return issue.kind() != Kind::pathTooLong && issue.kind() != Kind::pathTooDeep && issue.kind() != Kind::filenameUnresolvable
        && !(issue.kind() == Kind::filenameTooLong && unresolvable);
}

inline SourceFileAnalyzer::AnalysisResult analyzeRelative(const SourceFileAnalyzer& analyzer, const std::map<std::string, bool>& tree)
{
    std::vector<FileItem> items;
    for (const auto& [relative, isDirectory] : tree) {
        items.push_back({"/src/" + relative, isDirectory});
    }
    return analyzer.analyze(items, "/src", "test", [] { return false; });
}

// Whether an item's proposed name begins with "." where its own name did
// not: the rename would hide it.
inline bool hidesVisibleItem(const FileTransformationResult& result)
{
    const auto beginsWithDot = [](std::string_view name) { return !name.empty() && name.front() == '.'; };
    return beginsWithDot(RelativePath::lastComponent(result.finalRelativePath))
        && !beginsWithDot(RelativePath::lastComponent(result.originalRelativePath));
}

// Analyses `tree`, then the tree of its proposals, and reports every item
// of the second analysis that is not final, and every proposal that would
// hide a visible item.
inline void expectProposalsFinal(const TransformationSettings& settings, const std::map<std::string, bool>& tree)
{
    const SourceFileAnalyzer analyzer(settings, 0);
    const auto first = analyzeRelative(analyzer, tree);
    ASSERT_EQ(first.results.size(), tree.size());
    std::map<std::string, bool> proposed;
    std::map<std::string, std::string> sourceOf;
    for (const FileTransformationResult& result : first.results) {
        EXPECT_FALSE(hidesVisibleItem(result)) << "'" << result.originalRelativePath << "' proposed as '" << result.finalRelativePath << "'";
        proposed[result.finalRelativePath] = result.originalFile.isDirectory;
        sourceOf[result.finalRelativePath] = result.originalRelativePath;
    }
    ASSERT_EQ(proposed.size(), tree.size()) << "two items share a proposed path";
    const auto second = analyzeRelative(analyzer, proposed);
    for (const FileTransformationResult& result : second.results) {
        const std::string& from = sourceOf[result.originalRelativePath];
        EXPECT_EQ(result.finalRelativePath, result.originalRelativePath) << "proposed for '" << from << "'";
        for (const FileTransformationIssue& issue : result.transformations) {
            EXPECT_FALSE(wouldBeFixed(issue, result.transformations))
                << "issue " << issue.tag() << " on '" << result.originalRelativePath << "', proposed for '" << from << "'";
        }
    }
}

}  // namespace tess::test
