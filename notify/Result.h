// What a library function returns when it can fail: the value, or the reason it could
// not be had, in words a user can read. Libraries report trouble this way; they throw
// only where a constructor cannot finish (docs/ARCHITECTURE.md, "Reporting trouble").
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace velkor {

// The reason something failed, as one line of text for a user.
struct Failure {
    std::string reason;
};

inline Failure fail(std::string reason)
{
    return Failure{std::move(reason)};
}

template <class T> class [[nodiscard]] Result {
public:
    Result(T value)
        : m_v(std::move(value))
    {
    } // NOLINT(google-explicit-constructor)
    Result(Failure f)
        : m_v(std::move(f))
    {
    } // NOLINT(google-explicit-constructor)

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_v); }
    const T& value() const& { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // The reason; empty when the result holds a value.
    const std::string& error() const
    {
        static const std::string none;
        return ok() ? none : std::get<1>(m_v).reason;
    }

private:
    std::variant<T, Failure> m_v;
};

// Success, or the reason for failure, where there is no value to return.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(const Failure& f)
        : m_failed(true)
        , m_reason(f.reason)
    {
    } // NOLINT(google-explicit-constructor)

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_reason; }

private:
    bool m_failed = false;
    std::string m_reason;
};

} // namespace velkor
