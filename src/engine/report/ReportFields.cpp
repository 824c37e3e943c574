#include "report/ReportFields.h"

#include "text/Text.h"

#include <ctime>

namespace tess {

std::string_view ReportFields::shown(std::string_view text, std::string& storage)
{
    if (text::isValidUtf8(text)) {
        return text;
    }
    storage = text::displayPath(text);
    return storage;
}

bool ReportFields::readsAsFormula(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    switch (text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

void ReportFields::appendCsvText(std::string& out, std::string_view field, std::string& storage)
{
    const std::string_view text = shown(field, storage);
    out += '"';
    if (readsAsFormula(text)) {
        out += '\'';
    }
    std::size_t start = 0;
    for (std::size_t quote = text.find('"'); quote != std::string_view::npos; quote = text.find('"', start)) {
        out.append(text, start, quote + 1 - start);
        out += '"';
        start = quote + 1;
    }
    out.append(text, start, text.size() - start);
    out += '"';
}

ReportFields::Date::Date(TimePoint time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
    std::tm tm {};
    gmtime_r(&seconds, &tm);
    m_length = std::strftime(m_text, sizeof m_text, "%Y-%m-%dT%H:%M:%SZ", &tm);
}

}  // namespace tess
