// The failure of every core operation, and the result type that carries it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quorent {

// Plain: a failure of the operation whose display is its detail alone.
// Internal: not a failure of the operation's input but of the machinery under
// it (the random source, the Unicode tables); it crosses the interface as an
// internal failure rather than as the operation's error.
enum class ErrorKind : unsigned char { Jwt, BadKey, Claim, Crypto, Input, InsecureOrigin, Plain, Internal };

// A core failure: a kind and a detail text. Its display text is the kind's
// fixed prefix ("input: ", "crypto: ", ...) followed by the detail; Plain and
// Internal have no prefix.
struct CoreError {
    ErrorKind kind;
    std::string detail;

    std::string display() const;
    bool operator==(const CoreError&) const = default;
};

const char* kind_prefix(ErrorKind kind) noexcept;

inline CoreError make_error(ErrorKind kind, std::string detail) { return CoreError{kind, std::move(detail)}; }

// Either a value or a CoreError. Failures are values, never exceptions.
template <class T>
class [[nodiscard]] Result {
public:
    Result(const T& value) : v_(std::in_place_index<0>, value) {}
    Result(T&& value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(CoreError error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    T& operator*() & { return std::get<0>(v_); }
    const T& operator*() const& { return std::get<0>(v_); }

    const CoreError& error() const& { return std::get<1>(v_); }
    CoreError&& error() && { return std::get<1>(std::move(v_)); }

private:
    std::variant<T, CoreError> v_;
};

// Success carrying no value, or a CoreError.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(CoreError error) : error_(std::move(error)) {}
    bool ok() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return ok(); }
    // Of a failed status only (std::bad_optional_access otherwise).
    const CoreError& error() const& { return error_.value(); }
    CoreError&& error() && { return std::move(error_).value(); }

private:
    // Empty on success: nothing to build or destroy on the common path.
    std::optional<CoreError> error_;
};

}  // namespace quorent

#define QUORENT_CAT2(a, b) a##b
#define QUORENT_CAT(a, b) QUORENT_CAT2(a, b)

// QUORENT_TRY(decl, expr): evaluates expr (a Result); on failure returns its
// error from the enclosing function, otherwise binds the value to decl.
#define QUORENT_TRY(decl, expr)                                                                                   \
    auto QUORENT_CAT(quorent_try_, __LINE__) = (expr);                                                            \
    if (!QUORENT_CAT(quorent_try_, __LINE__).ok()) return std::move(QUORENT_CAT(quorent_try_, __LINE__)).error(); \
    decl = std::move(QUORENT_CAT(quorent_try_, __LINE__)).value()

// QUORENT_CHECK(expr): evaluates expr (a Status); returns its error on failure.
#define QUORENT_CHECK(expr)                                                 \
    do {                                                                    \
        auto quorent_check_ = (expr);                                       \
        if (!quorent_check_.ok()) return std::move(quorent_check_).error(); \
    } while (0)
