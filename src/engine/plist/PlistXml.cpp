#include "plist/PlistXml.h"

#include <plist/plist.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>

namespace tess {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr std::int64_t kReferenceDateOffset = 978307200;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocPtr = std::unique_ptr<char, MallocDeleter>;

Error plistError(PlistErrorCode code, const std::string& detail)
{
    return Error {kPlistErrorDomain, static_cast<std::int64_t>(code),
        "The property list could not be read: " + detail};
}

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return text.substr(at, prefix.size()) == prefix;
}

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view space = " \t\r\n";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool allOf(std::string_view text, bool (*accepted)(char))
{
    return std::all_of(text.begin(), text.end(), accepted);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isBase64(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' || c == '/' || c == '='
        || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool validInteger(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        text.remove_prefix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return allOf(text.substr(2), isHexDigit);
    }
    return !text.empty() && allOf(text, isDigit);
}

bool validReal(std::string_view text)
{
    text = trimmed(text);
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    for (std::string_view special : {"nan", "inf", "+inf", "-inf", "infinity", "+infinity", "-infinity"}) {
        if (lower == special) {
            return true;
        }
    }
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// "YYYY-MM-DDTHH:MM:SSZ", the only form property lists write.
bool validDate(std::string_view text)
{
    text = trimmed(text);
    constexpr std::string_view pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == 'd' ? !isDigit(text[i]) : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

// Checks what the property-list library would read leniently: it recurses
// once per level of <array> and <dict> (absurd nesting would overflow the
// stack), and it reads malformed integers, reals, dates and data as zero,
// the reference date or partial bytes instead of failing.
Status checkText(std::string_view xml)
{
    int depth = 0;
    std::size_t i = 0;
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        if (startsWith(xml, i, "<!--")) {
            std::size_t end = xml.find("-->", i + 4);
            i = end == std::string_view::npos ? xml.size() : end + 3;
            continue;
        }
        if (startsWith(xml, i, "<![CDATA[")) {
            std::size_t end = xml.find("]]>", i + 9);
            i = end == std::string_view::npos ? xml.size() : end + 3;
            continue;
        }
        std::size_t close = xml.find('>', i);
        if (close == std::string_view::npos) {
            break;
        }
        std::string_view tag = xml.substr(i + 1, close - i - 1);
        bool selfClosing = !tag.empty() && tag.back() == '/';
        auto named = [&](std::string_view name) {
            return tag.substr(0, name.size()) == name
                && (tag.size() == name.size() || tag[name.size()] == '/' || tag[name.size()] == ' '
                    || tag[name.size()] == '\t' || tag[name.size()] == '\n' || tag[name.size()] == '\r');
        };
        i = close + 1;
        if (selfClosing) {
            continue;
        }
        if (named("array") || named("dict")) {
            if (++depth > kPlistMaxDepth) {
                return plistError(PlistErrorCode::tooDeep, "nested too deeply");
            }
            continue;
        }
        if (named("/array") || named("/dict")) {
            --depth;
            continue;
        }
        bool (*valid)(std::string_view) = nullptr;
        std::string_view what;
        if (named("integer")) {
            valid = validInteger, what = "integer";
        } else if (named("real")) {
            valid = validReal, what = "real";
        } else if (named("date")) {
            valid = validDate, what = "date";
        } else if (named("data")) {
            valid = [](std::string_view text) { return allOf(text, isBase64); }, what = "data";
        }
        std::size_t contentEnd = xml.find('<', i);
        if (valid && contentEnd != std::string_view::npos
            && startsWith(xml, contentEnd, "</" + std::string(what) + ">")
            && !valid(xml.substr(i, contentEnd - i))) {
            return plistError(PlistErrorCode::malformed, "invalid " + std::string(what) + " value");
        }
    }
    return {};
}

// The node written out as XML text (used to recover what the library's
// narrow accessors cannot report).
std::string nodeXml(plist_t node)
{
    char* text = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node, &text, &length);
    MallocPtr owner(text);
    return text ? std::string(text, length) : std::string();
}

std::string elementText(const std::string& xml, std::string_view tag)
{
    std::string open = "<" + std::string(tag) + ">";
    std::string close = "</" + std::string(tag) + ">";
    std::size_t start = xml.find(open);
    if (start == std::string::npos) {
        return {};
    }
    start += open.size();
    std::size_t end = xml.find(close, start);
    return end == std::string::npos ? std::string() : xml.substr(start, end - start);
}

// Parses "YYYY-MM-DDTHH:MM:SSZ" as UTC.
bool parseIsoDate(const std::string& text, std::int64_t& unixSeconds)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char zone = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%c", &year, &month, &day, &hour, &minute, &second, &zone) != 7
        || zone != 'Z') {
        return false;
    }
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    unixSeconds = static_cast<std::int64_t>(timegm(&tm));
    return true;
}

Result<PlistValue> fromNode(plist_t node);

Result<PlistValue> fromDictionary(plist_t node)
{
    PlistValue::Dictionary dictionary;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    MallocPtr iterOwner(static_cast<char*>(iter));
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        MallocPtr keyOwner(key);
        if (!item) {
            break;
        }
        Result<PlistValue> value = fromNode(item);
        if (!value) {
            return value.error();
        }
        dictionary.insert_or_assign(key ? std::string(key) : std::string(), std::move(value).value());
    }
    return PlistValue(std::move(dictionary));
}

Result<PlistValue> fromArray(plist_t node)
{
    PlistValue::Array array;
    std::uint32_t size = plist_array_get_size(node);
    array.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        Result<PlistValue> value = fromNode(plist_array_get_item(node, i));
        if (!value) {
            return value.error();
        }
        array.push_back(std::move(value).value());
    }
    return PlistValue(std::move(array));
}

Result<PlistValue> fromInteger(plist_t node)
{
    std::uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    if (raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        // The library keeps integers as 64 unsigned bits: a negative
        // number and one above 2^63-1 look alike; the text tells them apart.
        if (elementText(nodeXml(node), "integer").rfind('-', 0) != 0) {
            return plistError(PlistErrorCode::unsupported, "integer out of range");
        }
    }
    return PlistValue(static_cast<std::int64_t>(raw));
}

Result<PlistValue> fromDate(plist_t node)
{
    std::int32_t seconds = 0;
    std::int32_t microseconds = 0;
    plist_get_date_val(node, &seconds, &microseconds);
    std::int64_t unixSeconds = std::int64_t(seconds) + kReferenceDateOffset;
    if (seconds == std::numeric_limits<std::int32_t>::min() || seconds == std::numeric_limits<std::int32_t>::max()) {
        // Outside the library's 32-bit seconds: read the written form.
        if (!parseIsoDate(elementText(nodeXml(node), "date"), unixSeconds)) {
            return plistError(PlistErrorCode::unsupported, "date out of range");
        }
    }
    // A date holds nanoseconds in 64 bits: about the years 1677 to 2262.
    constexpr std::int64_t kLatest = std::chrono::duration_cast<std::chrono::seconds>(PlistValue::Date::duration::max()).count();
    constexpr std::int64_t kEarliest = std::chrono::duration_cast<std::chrono::seconds>(PlistValue::Date::duration::min()).count();
    if (unixSeconds > kLatest || unixSeconds < kEarliest) {
        return plistError(PlistErrorCode::unsupported, "date out of range");
    }
    return PlistValue(PlistValue::Date(std::chrono::seconds(unixSeconds)));
}

Result<PlistValue> fromNode(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return PlistValue(value != 0);
    }
    case PLIST_UINT:
        return fromInteger(node);
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return PlistValue(value);
    }
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        MallocPtr owner(text);
        return PlistValue(std::string(text ? text : ""));
    }
    case PLIST_DATE:
        return fromDate(node);
    case PLIST_DATA: {
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        MallocPtr owner(bytes);
        const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
        return PlistValue(bytes ? PlistValue::Data(begin, begin + length) : PlistValue::Data());
    }
    case PLIST_ARRAY:
        return fromArray(node);
    case PLIST_DICT:
        return fromDictionary(node);
    case PLIST_UID:
        return plistError(PlistErrorCode::unsupported, "unsupported value type");
    default:
        return plistError(PlistErrorCode::malformed, "unknown value type");
    }
}

plist_t dateNode(const PlistValue::Date& date)
{
    std::int64_t unixSeconds = std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count();
    std::int64_t seconds = unixSeconds - kReferenceDateOffset;
    // The library takes 32-bit seconds only; dates beyond that range
    // (before 1932 or after 2069) go in through its XML reader.
    if (seconds > std::numeric_limits<std::int32_t>::min() && seconds < std::numeric_limits<std::int32_t>::max()) {
        return plist_new_date(static_cast<std::int32_t>(seconds), 0);
    }
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm {};
    if (gmtime_r(&t, &tm) && tm.tm_year + 1900 >= 1 && tm.tm_year + 1900 <= 9999) {
        char xml[96];
        int length = std::snprintf(xml, sizeof xml, "<plist><date>%04d-%02d-%02dT%02d:%02d:%02dZ</date></plist>",
            tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        plist_t node = nullptr;
        plist_from_xml(xml, static_cast<std::uint32_t>(length), &node);
        if (node) {
            return node;
        }
    }
    return plist_new_date(seconds < 0 ? std::numeric_limits<std::int32_t>::min() + 1 : std::numeric_limits<std::int32_t>::max() - 1, 0);
}

plist_t toNode(const PlistValue& value)
{
    if (const bool* flag = value.asBool()) {
        return plist_new_bool(*flag ? 1 : 0);
    }
    if (const std::int64_t* integer = value.asInteger()) {
        // Stored as 64 unsigned bits; the writer prints them signed.
        return plist_new_uint(static_cast<std::uint64_t>(*integer));
    }
    if (const double* real = value.asReal()) {
        return plist_new_real(*real);
    }
    if (const std::string* text = value.asString()) {
        return plist_new_string(text->c_str());
    }
    if (const PlistValue::Date* date = value.asDate()) {
        return dateNode(*date);
    }
    if (const PlistValue::Data* data = value.asData()) {
        return plist_new_data(reinterpret_cast<const char*>(data->data()), data->size());
    }
    if (const PlistValue::Array* items = value.asArray()) {
        plist_t array = plist_new_array();
        for (const PlistValue& item : *items) {
            plist_array_append_item(array, toNode(item));
        }
        return array;
    }
    plist_t dictionary = plist_new_dict();
    if (const PlistValue::Dictionary* entries = value.asDictionary()) {
        for (const auto& [key, item] : *entries) {
            plist_dict_set_item(dictionary, key.c_str(), toNode(item));
        }
    }
    return dictionary;
}

}  // namespace

Result<PlistValue> parsePlistXml(std::string_view xml)
{
    // A UTF-8 byte-order mark is allowed before the XML declaration.
    if (xml.substr(0, 3) == "\xEF\xBB\xBF") {
        xml.remove_prefix(3);
    }
    if (xml.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        return plistError(PlistErrorCode::malformed, "no data");
    }
    if (xml.size() >= std::numeric_limits<std::uint32_t>::max()) {
        return plistError(PlistErrorCode::tooLarge, "too large");
    }
    // XML holds no NUL character; the library aborts the process on a
    // string that contains one.
    if (xml.find('\0') != std::string_view::npos) {
        return plistError(PlistErrorCode::malformed, "NUL character in the text");
    }
    if (Status checked = checkText(xml); !checked) {
        return checked.error();
    }
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    PlistPtr owner(root);
    if (!root) {
        return plistError(PlistErrorCode::malformed, "malformed XML property list");
    }
    return fromNode(root);
}

std::string toPlistXml(const PlistValue& value)
{
    PlistPtr root(toNode(value));
    char* text = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &text, &length);
    MallocPtr owner(text);
    return text ? std::string(text, length) : std::string();
}

}  // namespace tess
