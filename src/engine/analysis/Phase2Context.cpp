#include "analysis/Phase2Context.h"

#include "log/AppLogger.h"
#include "text/Text.h"

#include <utility>

namespace tess {

Phase2Context::Phase2Context(const SourceFileAnalyzer& analyzer, SourceFileAnalyzer::LogSink log,
    CharacterTest isTrailingStripCharacter)
    : m_analyzer(analyzer)
    , m_log(std::move(log))
    , m_isTrailingStripCharacter(std::move(isTrailingStripCharacter))
{
}

void Phase2Context::log(std::string message, std::string_view level, std::string_view file, int line) const
{
    if (m_log) {
        m_log(std::move(message), level, file, line);
    } else {
        AppLogger::shared().log(std::move(message), level, file, line);
    }
}

std::string Phase2Context::dropTrailingStripCharacters(std::string_view text) const
{
    if (!m_isTrailingStripCharacter || text.empty()) {
        return std::string(text);
    }
    // ASCII without CR: every byte is one character, walk back from the end.
    if (text::isAscii(text) && text.find('\r') == std::string_view::npos) {
        std::size_t end = text.size();
        while (end > 0 && m_isTrailingStripCharacter(text.substr(end - 1, 1))) {
            --end;
        }
        return std::string(text.substr(0, end));
    }
    std::size_t offset = 0;
    std::size_t runStart = std::string_view::npos;
    text::forEachGrapheme(text, [&](std::string_view character) {
        if (m_isTrailingStripCharacter(character)) {
            if (runStart == std::string_view::npos) {
                runStart = offset;
            }
        } else {
            runStart = std::string_view::npos;
        }
        offset += character.size();
        return true;
    });
    return runStart == std::string_view::npos ? std::string(text) : std::string(text.substr(0, runStart));
}

}  // namespace tess
