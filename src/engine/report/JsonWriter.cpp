#include "report/JsonWriter.h"

#include "text/JsonString.h"
#include "text/Text.h"

namespace tess {

void JsonWriter::newLine(std::size_t depth)
{
    *m_out += '\n';
    m_out->append(depth * 2, ' ');
}

bool JsonWriter::beforeValue()
{
    if (m_failed) {
        return false;
    }
    if (m_levels.empty()) {
        if (m_done) {
            m_failed = true;  // a second top-level value
            return false;
        }
        m_done = true;
        return true;
    }
    Level& level = m_levels.back();
    if (level.isObject) {
        if (!level.keyPending) {
            m_failed = true;  // a member value without its key
            return false;
        }
        level.keyPending = false;
        return true;
    }
    if (!level.empty) {
        *m_out += ',';
    }
    level.empty = false;
    newLine(m_levels.size());
    return true;
}

void JsonWriter::key(std::string_view name)
{
    if (m_failed) {
        return;
    }
    if (m_levels.empty() || !m_levels.back().isObject || m_levels.back().keyPending || !text::isValidUtf8(name)) {
        m_failed = true;
        return;
    }
    Level& level = m_levels.back();
    if (!level.empty && !(std::string_view(level.lastKey) < name)) {
        m_failed = true;  // out of order or repeated
        return;
    }
    if (!level.empty) {
        *m_out += ',';
    }
    level.empty = false;
    level.keyPending = true;
    level.lastKey.assign(name);
    newLine(m_levels.size());
    appendString(*m_out, name);
    *m_out += " : ";
}

void JsonWriter::beginContainer(bool isObject, char open)
{
    if (!beforeValue()) {
        return;
    }
    *m_out += open;
    m_levels.push_back(Level {isObject, true, false, {}});
}

void JsonWriter::endContainer(bool isObject, char close)
{
    if (m_failed) {
        return;
    }
    if (m_levels.empty() || m_levels.back().isObject != isObject || m_levels.back().keyPending) {
        m_failed = true;
        return;
    }
    const bool empty = m_levels.back().empty;
    m_levels.pop_back();
    if (!empty) {
        newLine(m_levels.size());
    }
    *m_out += close;
}

void JsonWriter::beginObject()
{
    beginContainer(true, '{');
}

void JsonWriter::endObject()
{
    endContainer(true, '}');
}

void JsonWriter::beginArray()
{
    beginContainer(false, '[');
}

void JsonWriter::endArray()
{
    endContainer(false, ']');
}

void JsonWriter::string(std::string_view value)
{
    if (!text::isValidUtf8(value)) {
        m_failed = true;
        return;
    }
    if (beforeValue()) {
        appendString(*m_out, value);
    }
}

void JsonWriter::number(std::int64_t value)
{
    if (beforeValue()) {
        *m_out += std::to_string(value);
    }
}

void JsonWriter::boolean(bool value)
{
    if (beforeValue()) {
        *m_out += value ? "true" : "false";
    }
}

bool JsonWriter::complete() const
{
    return !m_failed && m_done && m_levels.empty();
}

std::optional<std::string> JsonWriter::finish()
{
    if (!complete() || m_out != &m_own) {
        return std::nullopt;
    }
    return std::move(m_own);
}

void JsonWriter::appendString(std::string& out, std::string_view value)
{
    text::appendJsonString(out, value, text::JsonSlash::escaped);
}

}  // namespace tess
