// The call frame every exported function runs inside: it owns the argument
// buffers, runs the operation, catches every failure and writes the status.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "buffer.hpp"
#include "quorent/encoding.hpp"
#include "quorent/error.hpp"
#include "quorent_sdk_uniffi.h"
#include "values.hpp"

namespace quorent::ffi {

// Ends the process: memory is exhausted.
[[noreturn]] void out_of_memory(std::size_t size) noexcept;

// Sets code (1 or 2) and a fresh error_buf holding bytes. If even that
// fails, the code stays and error_buf is left as the caller set it.
void write_status(RustCallStatus* status, std::int8_t code, std::string_view bytes) noexcept;

// The declared error of the interface.
enum class SdkVariant : std::int32_t { Sdk = 1, InsecureOrigin = 2 };
struct SdkError {
    SdkVariant variant;
    std::string message;
};

// How a core failure crosses: InsecureOrigin keeps its bare detail, every
// other kind becomes Sdk with its display text.
SdkError to_sdk_error(const CoreError& error);
std::string serialize_sdk_error(const SdkError& error);

template <class T> struct IsResult : std::false_type {};
template <class T> struct IsResult<Result<T>> : std::true_type {};

// Direct (returned) forms of results.
// A text result is copied into the caller's buffer; the library's own copy
// is wiped (a root seed or a secret key may be the result).
inline RustBuffer lower_return(std::string&& text) {
    RustBuffer out = make_buffer(text);
    secure_wipe(text.data(), text.size());
    return out;
}
inline RustBuffer lower_return(const std::string& text) { return make_buffer(text); }
inline std::uint64_t lower_return(std::uint64_t v) { return v; }
inline std::int8_t lower_return(bool v) { return v ? 1 : 0; }
template <class T>
RustBuffer lower_return(const T& value)
    requires requires(Writer& w, const T& v) { write(w, v); }
{
    Writer w;
    write(w, value);
    return w.release();
}

namespace detail {

template <class Ret>
Ret empty_value() {
    if constexpr (std::is_void_v<Ret>) return;
    else if constexpr (std::is_same_v<Ret, RustBuffer>) return kEmptyBuffer;
    else return Ret{};
}

template <class Ret, class Body>
Ret run(RustCallStatus* status, Body& body) noexcept {
    try {
        if constexpr (std::is_void_v<Ret>) {
            body();
            return;
        } else {
            auto out = body();
            using Out = decltype(out);
            if constexpr (IsResult<Out>::value) {
                if (!out.ok()) {
                    const std::string bytes = serialize_sdk_error(to_sdk_error(out.error()));
                    write_status(status, 1, bytes);
                    return empty_value<Ret>();
                }
                return lower_return(std::move(out).value());
            } else if constexpr (std::is_same_v<Out, Ret>) {
                return out;
            } else {
                return lower_return(std::move(out));
            }
        }
    } catch (const SdkError& e) {
        write_status(status, 1, serialize_sdk_error(e));
    } catch (const LiftError& e) {
        write_status(status, 2, "Failed to convert arg '" + e.arg + "':\n" + e.description);
    } catch (const InternalFailure& e) {
        write_status(status, 2, e.message);
    } catch (const std::bad_alloc&) {
        out_of_memory(0);
    } catch (const std::exception& e) {
        write_status(status, 2, e.what());
    } catch (...) {
        write_status(status, 2, "Unknown panic!");
    }
    return empty_value<Ret>();
}

}  // namespace detail

// Frame of a function without buffer arguments.
template <class Ret, class Body>
Ret call(RustCallStatus* status, Body&& body) noexcept {
    return detail::run<Ret>(status, body);
}

// The argument buffers of one call. Each is checked against the buffer
// invariants when taken over; consistent ones are wiped and released when
// the call ends, whatever its outcome (secret keys and seeds arrive as
// argument texts, so no argument outlives the call in freed memory).
template <std::size_t N>
class ArgBuffers {
public:
    explicit ArgBuffers(const std::array<RustBuffer, N>& bufs) noexcept : bufs_(bufs) {
        for (std::size_t i = 0; i < N; ++i) {
            auto v = buffer_violation(bufs_[i]);
            valid_[i] = !v.has_value();
            if (v && !violation_) violation_ = v;
        }
    }
    ~ArgBuffers() {
        for (std::size_t i = 0; i < N; ++i) {
            if (!valid_[i]) continue;
            if (bufs_[i].capacity != 0) secure_wipe(bufs_[i].data, bufs_[i].len);
            release_buffer(bufs_[i]);
        }
    }
    ArgBuffers(const ArgBuffers&) = delete;
    ArgBuffers& operator=(const ArgBuffers&) = delete;

    const std::optional<std::string_view>& violation() const noexcept { return violation_; }
    std::string_view view(std::size_t i) const noexcept { return buffer_view(bufs_[i]); }

private:
    std::array<RustBuffer, N> bufs_;
    std::array<bool, N> valid_{};
    std::optional<std::string_view> violation_;
};

// Frame of an operation: takes over the argument buffers, hands the body
// their byte views (texts are not validated here), and releases them.
template <class Ret, std::size_t N, class Body>
Ret call_with(RustCallStatus* status, const std::array<RustBuffer, N>& bufs, Body&& body) noexcept {
    ArgBuffers<N> args(bufs);
    auto framed = [&]() {
        if (args.violation()) throw InternalFailure{std::string(*args.violation())};
        std::array<std::string_view, N> views;
        for (std::size_t i = 0; i < N; ++i) views[i] = args.view(i);
        return body(views);
    };
    return detail::run<Ret>(status, framed);
}

}  // namespace quorent::ffi
