#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// Writes one JSON document in the pretty, sorted form of the reports, as it
// goes (no tree is built, so a report of a million rows costs only its text):
//
// - two spaces of indentation per level, one member or element per line,
//   " : " between a key and its value, no line feed after the document;
// - an empty array is "[]", an empty object "{}";
// - in strings, '"' and '\' are escaped, "/" is written "\/", the line
//   controls as \b \f \n \r \t and every other character below U+0020 as
//   \u00XX (lower-case hex); everything else is raw UTF-8.
//
// The keys of every object must be given in ascending byte order (the order
// of their code points), and every key only once: the writer checks this, as
// it checks that strings and keys are valid UTF-8 and that containers are
// closed in order. `finish` returns nothing when any check failed.
//
// The document is built in memory, or appended as it goes to a string the
// caller owns, which the caller may write out and empty between calls.
class JsonWriter {
public:
    JsonWriter() = default;
    explicit JsonWriter(std::string& out)
        : m_out(&out)
    {
    }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);
    void string(std::string_view value);
    void number(std::int64_t value);
    void boolean(bool value);

    // Whether the document is whole and every check held.
    bool complete() const;
    // The document built in memory, or nothing after a misuse or invalid
    // text (or when it was appended to the caller's string).
    std::optional<std::string> finish();

    // Appends `value` as a JSON string literal (quotes included). The text
    // must be valid UTF-8.
    static void appendString(std::string& out, std::string_view value);

private:
    struct Level {
        bool isObject = false;
        bool empty = true;
        bool keyPending = false;
        std::string lastKey;
    };

    // Starts a value: the separator and indentation an element needs.
    bool beforeValue();
    void beginContainer(bool isObject, char open);
    void endContainer(bool isObject, char close);
    void newLine(std::size_t depth);

    std::string m_own;
    std::string* m_out = &m_own;
    std::vector<Level> m_levels;
    bool m_failed = false;
    bool m_done = false;
};

}  // namespace tess
