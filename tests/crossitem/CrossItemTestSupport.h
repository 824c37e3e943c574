#pragma once

#include "../analysis/AnalyzerTestSupport.h"
#include "analysis/CrossItemPasses.h"
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

// A phase-1 record as phase 1 would hand it over.
inline SourceFileAnalyzer::Phase1Result record(const std::string& original, const std::string& transformed, bool isDirectory,
    SourceFileAnalyzer::Issues issues = {})
{
    SourceFileAnalyzer::Phase1Result r;
    r.originalFile = FileItem {"/src/" + original, isDirectory};
    r.setOriginalRelativePath(original);
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

inline SourceFileAnalyzer::AnalysisResult runCrossItemPasses(const SourceFileAnalyzer& analyzer,
    std::vector<SourceFileAnalyzer::Phase1Result> records, const SourceFileAnalyzer::CancelCheck& isCancelled = {})
{
    SourceFileAnalyzer::Phase1Output phase1;
    phase1.results = std::move(records);
    return CrossItemPasses(analyzer).run(std::move(phase1), isCancelled);
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
