#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace tess {

// An optional value held on the heap: one pointer wide, for fields that are
// nearly always empty in lists of millions of records. It reads like
// std::optional; a copy copies the value.
template <class T>
class BoxedOptional {
public:
    BoxedOptional() = default;
    BoxedOptional(std::nullopt_t) { }
    BoxedOptional(std::optional<T> value)
        : m_value(value ? std::make_unique<T>(std::move(*value)) : nullptr)
    {
    }
    BoxedOptional(const BoxedOptional& other)
        : m_value(other.m_value ? std::make_unique<T>(*other.m_value) : nullptr)
    {
    }
    BoxedOptional(BoxedOptional&&) noexcept = default;
    ~BoxedOptional() = default;

    BoxedOptional& operator=(const BoxedOptional& other)
    {
        if (this != &other) {
            m_value = other.m_value ? std::make_unique<T>(*other.m_value) : nullptr;
        }
        return *this;
    }
    BoxedOptional& operator=(BoxedOptional&&) noexcept = default;
    BoxedOptional& operator=(std::nullopt_t)
    {
        m_value.reset();
        return *this;
    }
    template <class U>
    requires(!std::is_same_v<std::remove_cvref_t<U>, BoxedOptional> && std::is_constructible_v<T, U&&>)
        BoxedOptional&
        operator=(U&& value)
    {
        if (m_value) {
            *m_value = std::forward<U>(value);
        } else {
            m_value = std::make_unique<T>(std::forward<U>(value));
        }
        return *this;
    }

    bool has_value() const { return m_value != nullptr; }
    explicit operator bool() const { return has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return m_value.get(); }
    const T* operator->() const { return m_value.get(); }
    void reset() { m_value.reset(); }
    friend bool operator==(const BoxedOptional& a, const BoxedOptional& b)
    {
        return a.has_value() == b.has_value() && (!a.has_value() || *a == *b);
    }

private:
    std::unique_ptr<T> m_value;
};

}  // namespace tess
