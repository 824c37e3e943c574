#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace tess {

// The application's own error domain.
inline constexpr const char* kAppErrorDomain = "app.quenby.Tessaline.Error";

// A failure as a value. `message` is the user-facing text.
struct Error {
    std::string domain;
    std::int64_t code = 0;
    std::string message;

    friend bool operator==(const Error&, const Error&) = default;
};

// Either a value or an Error. Failures are values; nothing here throws except
// value()/error() used on the wrong alternative, which is a programming error.
template <class T>
class Result {
public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Error error)
        : m_state(std::in_place_index<1>, std::move(error))
    {
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const Error& error() const { return std::get<1>(m_state); }

    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

private:
    std::variant<T, Error> m_state;
};

// Success without a value, or an Error.
template <>
class Result<void> {
public:
    Result() = default;
    Result(Error error)
        : m_error(std::move(error))
        , m_failed(true)
    {
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

using Status = Result<void>;

}  // namespace tess
