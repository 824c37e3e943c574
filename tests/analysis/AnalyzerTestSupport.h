#pragma once

#include "analysis/SourceFileAnalyzer.h"
#include "core/Concurrency.h"
#include "rules/TransformationSettings.h"

#include <mutex>
#include <string>
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

}  // namespace tess::test
