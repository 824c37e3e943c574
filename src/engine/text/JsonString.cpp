#include "text/JsonString.h"

namespace tess::text {

void appendJsonString(std::string& out, std::string_view value, JsonSlash slash)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const bool escapeSlash = slash == JsonSlash::escaped;
    out += '"';
    std::size_t plainStart = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x20 && c != '"' && c != '\\' && (c != '/' || !escapeSlash)) {
            continue;
        }
        out.append(value, plainStart, i - plainStart);
        plainStart = i + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            break;
        }
    }
    out.append(value, plainStart, value.size() - plainStart);
    out += '"';
}

}  // namespace tess::text
