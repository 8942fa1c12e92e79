// The call frame every exported function runs inside. It takes over the
// argument buffers, lifts the arguments the interface table declares, calls
// the operation's one core function, lowers its result or maps its error, and
// writes the status. It makes no decision of its own about an operation.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "buffer.hpp"
#include "interface.hpp"
#include "quorent/encoding.hpp"
#include "quorent/error.hpp"
#include "quorent/fault.hpp"
#include "quorent/pkce.hpp"
#include "quorent/sovereign.hpp"
#include "quorent/token.hpp"
#include "quorent/usersig.hpp"
#include "quorent_sdk_uniffi.h"
#include "values.hpp"

namespace quorent::ffi {

// Ends the process: memory is exhausted.
[[noreturn]] void out_of_memory(std::size_t size) noexcept;

// Sets code (1 or 2) and a fresh error_buf holding bytes. If even that
// fails, the code stays and error_buf is left as the caller set it.
void write_status(RustCallStatus* status, std::int8_t code, std::string_view bytes) noexcept;

// The one internal-failure path: code 2 with the message as raw bytes.
inline void fail_internal(RustCallStatus* status, std::string_view message) noexcept {
    write_status(status, 2, message);
}

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

// Reports a core failure: Internal as an internal failure, every other kind
// as the declared error (code 1).
void fail_with(RustCallStatus* status, const CoreError& error) noexcept;

template <class T>
struct IsResult : std::false_type {};
template <class T>
struct IsResult<Result<T>> : std::true_type {};

// ---- the forms of the table's types ---------------------------------------------
// C: the type in the exported signature. Held: the lifted argument as the
// core function receives it (Param, by value or by reference). Value: the
// core function's result. CRet: the exported return type.

template <iface::Type T>
struct Form;
template <>
struct Form<iface::Type::U64> {
    using C = std::uint64_t;
    using Held = std::uint64_t;
    using Param = std::uint64_t;
    using Value = std::uint64_t;
    using CRet = std::uint64_t;
};
template <>
struct Form<iface::Type::Bool> {
    using C = std::int8_t;
    using Held = bool;
    using Param = bool;
    using Value = bool;
    using CRet = std::int8_t;
};
template <>
struct Form<iface::Type::String> {
    using C = RustBuffer;
    using Held = std::string_view;  // the argument buffer's bytes
    using Param = std::string_view;
    using Value = std::string;
    using CRet = RustBuffer;
};
template <>
struct Form<iface::Type::OptionalString> {
    using C = RustBuffer;
    using Held = std::optional<std::string_view>;
    using Param = std::optional<std::string_view>;
};
template <>
struct Form<iface::Type::ByteSeq> {
    using C = RustBuffer;
    using Held = Bytes;
    using Param = const Bytes&;
    using Value = Bytes;
    using CRet = RustBuffer;
};
template <>
struct Form<iface::Type::Deed> {
    using C = RustBuffer;
    using Held = sovereign::DeedRecord;
    using Param = sovereign::DeedRecord&&;  // the lifted record, handed over
    using Value = sovereign::Deed;  // lowered as its record
    using CRet = RustBuffer;
};
template <>
struct Form<iface::Type::AppKey> {
    using Value = usersig::AppKey;
    using CRet = RustBuffer;
};
template <>
struct Form<iface::Type::Claims> {
    using Value = token::Claims;
    using CRet = RustBuffer;
};
template <>
struct Form<iface::Type::Pkce> {
    using Value = pkce::Pkce;
    using CRet = RustBuffer;
};

// An operation's name as a template argument.
template <std::size_t K>
struct OpName {
    char text[K]{};
    constexpr OpName(const char (&s)[K]) {
        for (std::size_t i = 0; i < K; ++i) text[i] = s[i];
    }
    constexpr std::string_view view() const { return {text, K - 1}; }
};

// Everything the frame knows about one operation, read from the table.
template <OpName Name>
struct Entry {
    static constexpr const iface::Func& func = iface::function(Name.view());
    static constexpr std::size_t arity = func.arg_count;
    template <std::size_t I>
    using Arg = Form<func.args[I].type>;
    using Out = Form<func.result>;
    using Value = typename Out::Value;
    using CRet = typename Out::CRet;

    template <class R, std::size_t... I>
    static auto pointer(std::index_sequence<I...>) -> R (*)(typename Arg<I>::Param...);
    // The core function's type: the declared arguments in order, returning
    // Result<Value> when the operation is fallible and Value otherwise.
    template <class R>
    using Fn = decltype(pointer<R>(std::make_index_sequence<arity>{}));
    using Core = std::conditional_t<func.fallible, Result<Value>, Value>;

    template <std::size_t... I>
    static auto held(std::index_sequence<I...>) -> std::tuple<typename Arg<I>::Held...>;
    using Held = decltype(held(std::make_index_sequence<arity>{}));
};

// ---- lowering -----------------------------------------------------------------------

// A text result is copied into the caller's buffer; the library's own copy
// is wiped, its whole allocation (a root seed or a secret key may be the
// result).
inline RustBuffer lower_return(std::string&& text) {
    RustBuffer out = make_buffer(text);
    secure_wipe(text);
    return out;
}
inline std::uint64_t lower_return(std::uint64_t v) { return v; }
inline std::int8_t lower_return(bool v) { return v ? 1 : 0; }
inline RustBuffer lower_return(sovereign::Deed&& deed) {
    const sovereign::DeedRecord record = sovereign::deed_to_record(std::move(deed));
    Writer w(nested_size(record));  // filled exactly: handed over without a copy
    write(w, record);
    return w.release();
}
template <class T>
RustBuffer lower_return(const T& value) requires requires(Writer& w, const T& v) {
    write(w, v);
}
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

// Runs body. Nothing in the library throws: its failures are values, and
// the machinery's are recorded (quorent/fault.hpp). Where the C++ runtime
// reports running out of memory by throwing (every build but WebAssembly's,
// whose runtime has no exceptions and aborts: a trap, which its host reports
// as that call's failure), the process ends as on any allocation failure, and
// anything else it might throw is reported as an internal failure.
template <class Ret, class Body>
[[gnu::always_inline]] inline Ret guarded([[maybe_unused]] RustCallStatus* status, Body& body) noexcept {
#if defined(__cpp_exceptions)
    try {
        return body();
    } catch (const std::bad_alloc&) {
        out_of_memory(0);
    } catch (const std::exception& e) {
        fail_internal(status, e.what());
    } catch (...) {
        fail_internal(status, "Unknown panic!");
    }
    return empty_value<Ret>();
#else
    return body();
#endif
}

// A call's result, unless the machinery failed during the call: then that
// failure is reported and the result (wiped, when a buffer) is dropped.
template <class Ret>
Ret unless_fault(RustCallStatus* status, Ret result) noexcept {
    const char* fault = take_fault();
    if (fault == nullptr) return result;
    if constexpr (std::is_same_v<Ret, RustBuffer>) release_buffer(result);
    fail_internal(status, fault);
    return empty_value<Ret>();
}

// The argument buffers of one call, in declaration order (an argument that
// is not a buffer has an unused slot). Each is checked against the buffer
// invariants when taken over; consistent ones are wiped and released when
// the call ends, whatever its outcome (secret keys and seeds arrive as
// argument texts, so no argument outlives the call in freed memory).
template <std::size_t N>
class ArgBuffers {
public:
    template <class... C>
    explicit ArgBuffers(const C&... args) noexcept {
        std::size_t i = 0;
        (take(i++, args), ...);
    }
    ~ArgBuffers() {
        for (std::size_t i = 0; i < N; ++i) {
            if (owned_[i]) release_buffer(bufs_[i]);  // wipes before it frees
        }
    }
    ArgBuffers(const ArgBuffers&) = delete;
    ArgBuffers& operator=(const ArgBuffers&) = delete;

    const std::optional<std::string_view>& violation() const noexcept { return violation_; }
    std::string_view view(std::size_t i) const noexcept { return buffer_view(bufs_[i]); }

private:
    void take(std::size_t i, const RustBuffer& buf) noexcept {
        bufs_[i] = buf;
        const auto v = buffer_violation(buf);
        owned_[i] = !v.has_value();
        if (v && !violation_) violation_ = v;
    }
    template <class Scalar>
    void take(std::size_t, const Scalar&) noexcept {}

    std::array<RustBuffer, N> bufs_{};
    std::array<bool, N> owned_{};
    std::optional<std::string_view> violation_;
};

template <iface::Type T, class C>
typename Form<T>::Held lift_arg(const C& c, std::string_view buf, const char* name, LiftFailure& failure) {
    using iface::Type;
    if constexpr (T == Type::U64) return c;
    else if constexpr (T == Type::Bool) return lift_bool(c, name, failure);
    else if constexpr (T == Type::String) return buf;
    else if constexpr (T == Type::OptionalString) return lift_optional_text(buf, name, failure);
    else if constexpr (T == Type::ByteSeq) return lift_bytes(buf, name, failure);
    else if constexpr (T == Type::Deed) return lift_deed(buf, name, failure);
}

// The first direct text argument (declaration order) that is not UTF-8.
// (Texts nested in a buffer are checked by lifting, as conversion faults.)
// A secret argument is checked without branching on its bytes.
template <class E, std::size_t... I>
std::optional<std::string_view> first_non_utf8(const typename E::Held& held, std::index_sequence<I...>) {
    std::optional<std::string_view> bad;
    auto check = [&](const iface::Arg& arg, const auto& v) {
        using V = std::decay_t<decltype(v)>;
        if (bad) return;
        if constexpr (std::is_same_v<V, std::string_view>) {
            if (!(arg.secret ? is_utf8(v) : utf8_valid(v))) bad = arg.name;
        }
    };
    (check(E::func.args[I], std::get<I>(held)), ...);
    return bad;
}

template <OpName Name, class F, class... C, std::size_t... I>
[[gnu::always_inline]] inline typename Entry<Name>::CRet frame(RustCallStatus* status, F core,
                                                               std::index_sequence<I...>, const C&... c) noexcept {
    using E = Entry<Name>;
    using Ret = typename E::CRet;
    static_assert((std::is_same_v<C, typename E::template Arg<I>::C> && ...),
                  "the exported parameters do not have the C types the table declares");
    ArgBuffers<sizeof...(C)> bufs(c...);
    auto body = [&]() -> Ret {
        take_fault();  // none is left from work done outside a call
        if (bufs.violation()) {
            fail_internal(status, *bufs.violation());
            return empty_value<Ret>();
        }
        // Braced initialisation lifts in declaration order; after a failure
        // the later arguments are not read.
        LiftFailure failure;
        typename E::Held held{
            lift_arg<E::func.args[I].type>(c, bufs.view(I), E::func.args[I].name.data(), failure)...};
        if (failure) {
            fail_internal(status, "Failed to convert arg '" + failure->arg + "':\n" + failure->description);
            return empty_value<Ret>();
        }
        if constexpr (E::func.fallible) {
            if (auto bad = first_non_utf8<E>(held, std::index_sequence<I...>{})) {
                fail_with(status, CoreError{ErrorKind::Input, std::string(*bad) + " is not valid UTF-8"});
                return empty_value<Ret>();
            }
        }
        auto out = core(std::move(std::get<I>(held))...);
        if constexpr (IsResult<decltype(out)>::value) {
            if (!out.ok()) {
                if (const char* fault = take_fault()) fail_internal(status, fault);
                else fail_with(status, out.error());
                return empty_value<Ret>();
            }
            return unless_fault(status, lower_return(std::move(out).value()));
        } else {
            return unless_fault(status, lower_return(std::move(out)));
        }
    };
    return guarded<Ret>(status, body);
}

}  // namespace detail

// The exported form of one operation of the table: lifts the C arguments as
// declared, calls `core` (which must take exactly the declared arguments)
// and lowers its result. It is inlined into each exported function, so that
// the core function is called directly. (The table's argument names are
// string literals, NUL-terminated as lift_* need them.)
template <OpName Name, class... C>
[[gnu::always_inline]] inline typename Entry<Name>::CRet export_call(
    RustCallStatus* status, typename Entry<Name>::template Fn<typename Entry<Name>::Core> core, C... c) noexcept {
    static_assert(sizeof...(C) == Entry<Name>::arity, "the table declares another number of arguments");
    return detail::frame<Name>(status, core, std::make_index_sequence<sizeof...(C)>{}, c...);
}

// An operation declared unable to fail whose core function can still fail
// underneath (the random source, say): such a failure is internal.
template <OpName Name, class... C>
requires(!Entry<Name>::func.fallible) [[gnu::always_inline]] inline typename Entry<Name>::CRet
    export_call(RustCallStatus* status, typename Entry<Name>::template Fn<Result<typename Entry<Name>::Value>> core,
                C... c) noexcept {
    static_assert(sizeof...(C) == Entry<Name>::arity, "the table declares another number of arguments");
    return detail::frame<Name>(status, core, std::make_index_sequence<sizeof...(C)>{}, c...);
}

// Frame of an exported function that is not an operation of the table (the
// buffer functions): runs body inside the same internal-failure path.
template <class Ret, class Body>
Ret call(RustCallStatus* status, Body&& body) noexcept {
    return detail::guarded<Ret>(status, body);
}

}  // namespace quorent::ffi
