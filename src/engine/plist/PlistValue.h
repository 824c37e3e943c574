#pragma once

// An in-memory property-list value: the data model that settings, the
// defaults store and in-process notifications carry. XML reading and writing
// live in PlistXml.h.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace tess {

class PlistValue {
public:
    using Date = std::chrono::system_clock::time_point;
    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<PlistValue>;
    using Dictionary = std::map<std::string, PlistValue>;

    enum class Type { boolean,
        integer,
        real,
        string,
        date,
        data,
        array,
        dictionary };

    PlistValue()
        : m_value(std::string())
    {
    }
    PlistValue(bool v)
        : m_value(v)
    {
    }
    PlistValue(int v)
        : m_value(std::int64_t(v))
    {
    }
    PlistValue(std::int64_t v)
        : m_value(v)
    {
    }
    PlistValue(double v)
        : m_value(v)
    {
    }
    PlistValue(const char* v)
        : m_value(std::string(v))
    {
    }
    PlistValue(std::string v)
        : m_value(std::move(v))
    {
    }
    PlistValue(Date v)
        : m_value(v)
    {
    }
    PlistValue(Data v)
        : m_value(std::move(v))
    {
    }
    PlistValue(Array v)
        : m_value(std::move(v))
    {
    }
    PlistValue(Dictionary v)
        : m_value(std::move(v))
    {
    }

    Type type() const { return static_cast<Type>(m_value.index()); }
    bool isBool() const { return type() == Type::boolean; }
    bool isInteger() const { return type() == Type::integer; }
    bool isReal() const { return type() == Type::real; }
    bool isString() const { return type() == Type::string; }
    bool isDate() const { return type() == Type::date; }
    bool isData() const { return type() == Type::data; }
    bool isArray() const { return type() == Type::array; }
    bool isDictionary() const { return type() == Type::dictionary; }

    // Pointer to the value when it has that type, else nullptr.
    const bool* asBool() const { return std::get_if<bool>(&m_value); }
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&m_value); }
    const double* asReal() const { return std::get_if<double>(&m_value); }
    const std::string* asString() const { return std::get_if<std::string>(&m_value); }
    const Date* asDate() const { return std::get_if<Date>(&m_value); }
    const Data* asData() const { return std::get_if<Data>(&m_value); }
    const Array* asArray() const { return std::get_if<Array>(&m_value); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&m_value); }
    Array* asArray() { return std::get_if<Array>(&m_value); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&m_value); }

    // Dictionary lookup; nullptr when this is no dictionary or has no such key.
    const PlistValue* find(const std::string& key) const;

    friend bool operator==(const PlistValue&, const PlistValue&) = default;

private:
    std::variant<bool, std::int64_t, double, std::string, Date, Data, Array, Dictionary> m_value;
};

}  // namespace tess
