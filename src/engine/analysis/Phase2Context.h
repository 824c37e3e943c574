#pragma once

#include "analysis/SourceFileAnalyzer.h"

#include <functional>
#include <string>
#include <string_view>

namespace tess {

// What the cross-item passes need besides the analyser's constants: where
// log lines go and which characters count as trailing strip characters.
class Phase2Context {
public:
    // Whether one character (grapheme) is a trailing strip character.
    using CharacterTest = std::function<bool(std::string_view character)>;

    // An empty `log` writes to AppLogger::shared(); an empty test strips
    // nothing.
    Phase2Context(const SourceFileAnalyzer& analyzer, SourceFileAnalyzer::LogSink log,
        CharacterTest isTrailingStripCharacter);

    const SourceFileAnalyzer& analyzer() const { return m_analyzer; }

    void log(std::string message, std::string_view level, std::string_view file, int line) const;

    // `text` without the run of trailing strip characters at its end.
    std::string dropTrailingStripCharacters(std::string_view text) const;

private:
    const SourceFileAnalyzer& m_analyzer;
    SourceFileAnalyzer::LogSink m_log;
    CharacterTest m_isTrailingStripCharacter;
};

}  // namespace tess

#define PHASE2_LOG_INFO(context, message) (context).log((message), "INFO", __FILE__, __LINE__)
