#include "index/ShortenedComponentsJson.h"

#include "text/JsonString.h"
#include "text/Text.h"

#include <cstdint>

namespace tess {

namespace {

// A strict reader of the one shape the column holds.
class Reader {
public:
    explicit Reader(std::string_view text)
        : m_text(text)
    {
    }

    bool readObject(ShortenedComponentsJson::Map& out)
    {
        skipSpace();
        if (!consume('{')) {
            return false;
        }
        skipSpace();
        if (consume('}')) {
            return atEnd();
        }
        for (;;) {
            std::string key;
            std::string value;
            skipSpace();
            if (!readString(key)) {
                return false;
            }
            skipSpace();
            if (!consume(':')) {
                return false;
            }
            skipSpace();
            if (!readString(value)) {
                return false;
            }
            out.insert_or_assign(std::move(key), std::move(value));
            skipSpace();
            if (consume('}')) {
                return atEnd();
            }
            if (!consume(',')) {
                return false;
            }
        }
    }

private:
    bool atEnd()
    {
        skipSpace();
        return m_pos == m_text.size();
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }

    bool consume(char c)
    {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool readHex4(char32_t& value)
    {
        if (m_text.size() - m_pos < 4) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= static_cast<char32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= static_cast<char32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= static_cast<char32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    bool readEscapedCodePoint(std::string& out)
    {
        char32_t unit = 0;
        if (!readHex4(unit)) {
            return false;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;  // a lone low surrogate
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low = 0;
            if (!consume('\\') || !consume('u') || !readHex4(low) || low < 0xDC00 || low > 0xDFFF) {
                return false;
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        text::appendUtf8(out, unit);
        return true;
    }

    bool readString(std::string& out)
    {
        if (!consume('"')) {
            return false;
        }
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (m_pos >= m_text.size()) {
                return false;
            }
            switch (m_text[m_pos++]) {
            case '"':
                out.push_back('"');
                break;
            case '\\':
                out.push_back('\\');
                break;
            case '/':
                out.push_back('/');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'u':
                if (!readEscapedCodePoint(out)) {
                    return false;
                }
                break;
            default:
                return false;
            }
        }
        return false;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

}  // namespace

std::optional<std::string> ShortenedComponentsJson::encode(const Map& components)
{
    if (components.empty()) {
        return std::nullopt;
    }
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : components) {
        if (!text::isValidUtf8(key) || !text::isValidUtf8(value)) {
            return std::nullopt;
        }
        if (!first) {
            out.push_back(',');
        }
        first = false;
        text::appendJsonString(out, key, text::JsonSlash::plain);
        out.push_back(':');
        text::appendJsonString(out, value, text::JsonSlash::plain);
    }
    out.push_back('}');
    return out;
}

ShortenedComponentsJson::Map ShortenedComponentsJson::decode(std::string_view json)
{
    if (!text::isValidUtf8(json)) {
        return {};
    }
    Map result;
    Reader reader(json);
    if (!reader.readObject(result)) {
        return {};
    }
    return result;
}

}  // namespace tess
