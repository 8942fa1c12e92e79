// Every exported operation paired with its entry in the interface table, for
// hosts that call operations by name (the command-line tool, the benchmarks).
// The pairing is checked at compile time: each function's C signature must
// be the one the table's argument and result types give.
// Laid out by hand (one line per operation):
// clang-format off
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "../src/interface.hpp"
#include "quorent_host.hpp"

namespace quorent_host::ops {

namespace iface = quorent::ffi::iface;
using iface::Type;

// The direct (C) form of a value of each type.
template <Type T> struct CType { using type = RustBuffer; };
template <> struct CType<Type::U8> { using type = std::uint8_t; };
template <> struct CType<Type::U64> { using type = std::uint64_t; };
template <> struct CType<Type::Bool> { using type = std::int8_t; };

template <class R, class... P> using FnPtr = R (*)(P...);

template <std::size_t I, std::size_t... A>
auto declared_signature(std::index_sequence<A...>)
    -> FnPtr<typename CType<iface::kFunctions[I].result>::type,
             typename CType<iface::kFunctions[I].args[A].type>::type..., RustCallStatus*>;

// The C signature that table entry I declares.
template <std::size_t I>
using Signature = decltype(declared_signature<I>(std::make_index_sequence<iface::kFunctions[I].arg_count>{}));

inline constexpr std::string_view kSymbolPrefix = "uniffi_quorent_sdk_uniffi_fn_func_";

constexpr std::size_t index_of_symbol(std::string_view symbol) {
    if (symbol.substr(0, kSymbolPrefix.size()) != kSymbolPrefix) throw "not an exported operation";
    const std::string_view name = symbol.substr(kSymbolPrefix.size());
    for (std::size_t i = 0; i < iface::kFunctionCount; ++i)
        if (iface::kFunctions[i].name == name) return i;
    throw "no such operation in the interface table";  // not a constant expression: fails the build
}

// One argument in its direct form: the member its type uses is set.
struct Lowered {
    std::uint64_t u64;
    std::int8_t flag;
    RustBuffer buf;
};

// One call as it came back: the status as the call left it, and the direct
// result (a buffer, or an integer widened to 64 bits).
struct Raw {
    RustCallStatus status = fresh_status();
    RustBuffer buf{0, 0, nullptr};
    std::uint64_t integer = 0;
};

// Calls the operation; the argument buffers are handed over (and emptied).
using Invoker = Raw (*)(Lowered* args);

struct Entry {
    std::size_t index;  // into iface::kFunctions
    Invoker invoke;
    constexpr const iface::Func& func() const { return iface::kFunctions[index]; }
};

namespace detail {

template <class T>
T pick(Lowered& a) {
    if constexpr (std::is_same_v<T, RustBuffer>) return std::exchange(a.buf, RustBuffer{0, 0, nullptr});
    else if constexpr (std::is_same_v<T, std::uint64_t>) return a.u64;
    else {
        static_assert(std::is_same_v<T, std::int8_t>);
        return a.flag;
    }
}

template <std::size_t I, auto Fn, std::size_t... A>
Raw call(Lowered* args, std::index_sequence<A...>) {
    (void)args;
    Raw raw;
    auto r = Fn(pick<typename CType<iface::kFunctions[I].args[A].type>::type>(args[A])..., &raw.status);
    using R = decltype(r);
    if constexpr (std::is_same_v<R, RustBuffer>) raw.buf = r;
    else raw.integer = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<R>>(r));
    return raw;
}

}  // namespace detail

template <std::size_t I, auto Fn>
constexpr Entry entry() {
    static_assert(std::is_same_v<decltype(Fn), Signature<I>>,
                  "the exported function's C signature differs from its interface table entry");
    return Entry{I, [](Lowered* a) {
                     return detail::call<I, Fn>(a, std::make_index_sequence<iface::kFunctions[I].arg_count>{});
                 }};
}

}  // namespace quorent_host::ops

#define QUORENT_OPERATION(symbol) \
    ::quorent_host::ops::entry<::quorent_host::ops::index_of_symbol(#symbol), &symbol>()

namespace quorent_host::ops {

// In the table's order.
inline constexpr Entry kOperations[] = {
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_build_authorize_url),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_build_client_assertion),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_decode_bool_return),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_delegate),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_delegation_binding),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_derive_app_key),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_derive_root_seed),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_generate_pkce),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_issuer_key_id),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_is_origin_voucher_calldata),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_mint_admin_deed_smartwallet),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_mint_capability_deed),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_mint_user_1271_deed),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_mint_user_passkey_deed),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_normalize_origin),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_binding),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_max_ttl_secs),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_origin_vouch_signer),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_link),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_parent_ref_hash_root),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_passkey_sub),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_pkce_challenge),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_sign_client_assertion),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_user_binding),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_user_root_binding),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_user_sub),
    QUORENT_OPERATION(uniffi_quorent_sdk_uniffi_fn_func_verify_token_at),
};

constexpr bool covers_the_table_in_order() {
    if (std::size(kOperations) != iface::kFunctionCount) return false;
    for (std::size_t i = 0; i < iface::kFunctionCount; ++i)
        if (kOperations[i].index != i) return false;
    return true;
}
static_assert(covers_the_table_in_order(), "one entry per operation of the interface table, in its order");

// The entry of an operation by its snake-case name, or nullptr.
constexpr const Entry* find(std::string_view name) {
    for (const Entry& e : kOperations)
        if (e.func().name == name) return &e;
    return nullptr;
}

// The lowered arguments of one call. Whatever the call did not consume is
// released on destruction.
class Arguments {
public:
    Arguments() = default;
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    ~Arguments() {
        for (std::size_t i = 0; i < n_; ++i)
            if (items_[i].buf.data != nullptr || items_[i].buf.capacity != 0) release(items_[i].buf);
    }

    void add_u64(std::uint64_t v) { next().u64 = v; }
    void add_flag(bool v) { next().flag = static_cast<std::int8_t>(v ? 1 : 0); }
    // A text, or any nested form. Throws BufferError when the library refuses it.
    void add_bytes(std::string_view bytes) { next().buf = to_buffer(bytes); }
    // Without a throw: false when the library refused the bytes.
    bool try_add_bytes(std::string_view bytes) {
        RustCallStatus st = fresh_status();
        RustBuffer b = to_buffer(bytes, st);
        if (st.code != 0) {
            if (st.error_buf.data != nullptr) release(st.error_buf);
            return false;
        }
        next().buf = b;
        return true;
    }
    std::size_t size() const { return n_; }

    // Calls the operation; a count that differs from its declaration is a BufferError.
    Raw call(const Entry& op) {
        if (n_ != op.func().arg_count) throw BufferError("argument count differs from the operation's");
        return op.invoke(items_.data());
    }

private:
    Lowered& next() {
        if (n_ == items_.size()) throw BufferError("too many arguments");
        return items_[n_++];
    }
    std::array<Lowered, std::tuple_size_v<decltype(iface::Func::args)>> items_{};
    std::size_t n_ = 0;
};

}  // namespace quorent_host::ops
// clang-format on
