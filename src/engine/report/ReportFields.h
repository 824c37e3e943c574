#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace tess {

// How the report writers write one field.
class ReportFields {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    ReportFields() = delete;

    // The text a report holds for `text` (a path or a message): `text`
    // itself when it is valid UTF-8, else its display form
    // (text::displayPath) kept in `storage`.
    static std::string_view shown(std::string_view text, std::string& storage);

    // Whether a spreadsheet would take a cell beginning with `text` for a
    // formula: it begins with "=", "+", "-", "@", a tab or a carriage return.
    static bool readsAsFormula(std::string_view text);

    // Appends `text` as a CSV field: shown as above, enclosed in double
    // quotes, each double quote inside doubled, and an apostrophe first
    // inside the quotes when it reads as a formula, so that opening the
    // report never runs a file name.
    static void appendCsvText(std::string& out, std::string_view text, std::string& storage);

    // "2026-12-09T09:30:00Z": UTC, whole seconds, built without allocating.
    struct Date {
        explicit Date(TimePoint time);
        std::string_view view() const { return {m_text, m_length}; }

    private:
        char m_text[40];
        std::size_t m_length = 0;
    };
};

}  // namespace tess
