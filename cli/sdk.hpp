// The host side of the buffer protocol: argument buffers made with the
// library's own buffer functions, nested forms read from result buffers,
// and one call's outcome with every received buffer freed.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "quorent_sdk_uniffi.h"

namespace quorent_cli {

using Json = nlohmann::ordered_json;

// A failure on the host's side of the boundary (a buffer function failed,
// a result buffer did not hold what the operation declares).
struct HostFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One argument in its direct form. Buffers are owned until handed to a call.
struct Arg {
    uint64_t u64 = 0;
    int8_t flag = 0;
    RustBuffer buf{0, 0, nullptr};
};

// Owns the lowered arguments of one call; whatever the call did not consume
// is freed on destruction.
class Args {
public:
    Args() = default;
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;
    ~Args();

    void add_u64(uint64_t v) { items_.push_back(Arg{v, 0, {}}); }
    void add_flag(bool v) { items_.push_back(Arg{0, static_cast<int8_t>(v ? 1 : 0), {}}); }
    void add_bytes(std::string_view bytes);  // String, or any nested form
    Arg& operator[](std::size_t i) { return items_.at(i); }
    std::size_t size() const { return items_.size(); }

private:
    std::vector<Arg> items_;
};

// Nested forms, written the way a binding writes them.
void put_i32(std::string& out, int32_t v);
void put_u64(std::string& out, uint64_t v);
void put_str(std::string& out, std::string_view s);
void put_opt_str(std::string& out, const std::optional<std::string>& s);

// Reads nested forms; a short or malformed buffer is a HostFault.
class Cursor {
public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
    uint8_t u8();
    int32_t i32();
    uint64_t u64();
    std::string str();
    std::optional<std::string> opt_str();
    std::optional<uint64_t> opt_u64();
    void finish() const;  // every byte must have been read

private:
    std::string_view need(std::size_t n);
    bool present();  // an option's tag
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// What came back from one call. Buffers have been copied out and freed.
struct Outcome {
    int8_t code = 0;
    int32_t variant = 0;  // code 1: 1 = Sdk, 2 = InsecureOrigin
    std::string message;  // code 1 and 2
    std::string bytes;    // code 0, buffer results
    uint64_t integer = 0; // code 0, integer results
};

std::string_view variant_name(int32_t variant);

// Copies a received buffer out and frees it.
std::string take(RustBuffer b);

// Reads the status after a call: error buffers are decoded and freed.
void read_status(RustCallStatus& st, Outcome& out);

namespace detail {

template <class F> struct Signature;
template <class R, class... P> struct Signature<R (*)(P...)> {
    using Result = R;
    using Params = std::tuple<P...>;
    static constexpr std::size_t arity = sizeof...(P) - 1;  // the status comes last
};

template <class T> T pick(Arg& a) {
    if constexpr (std::is_same_v<T, RustBuffer>) return std::exchange(a.buf, RustBuffer{0, 0, nullptr});
    else if constexpr (std::is_same_v<T, uint64_t>) return a.u64;
    else {
        static_assert(std::is_same_v<T, int8_t>);
        return a.flag;
    }
}

template <class F, std::size_t... I>
Outcome invoke(F fn, Args& args, std::index_sequence<I...>) {
    using S = Signature<F>;
    if (args.size() != S::arity) throw HostFault("argument count does not match the operation");
    RustCallStatus st{0, RustBuffer{0, 0, nullptr}};
    Outcome out;
    auto r = fn(pick<std::tuple_element_t<I, typename S::Params>>(args[I])..., &st);
    read_status(st, out);
    using R = typename S::Result;
    if constexpr (std::is_same_v<R, RustBuffer>) {
        if (out.code == 0) out.bytes = take(r);
        else if (r.data != nullptr) take(r);
    } else {
        out.integer = static_cast<uint64_t>(static_cast<std::make_unsigned_t<R>>(r));
    }
    return out;
}

}  // namespace detail

// Calls an exported operation with lowered arguments, in declaration order.
template <class F>
Outcome invoke(F fn, Args& args) {
    return detail::invoke(fn, args, std::make_index_sequence<detail::Signature<F>::arity>{});
}

// ---- records ------------------------------------------------------------------

// Reads a record's nested form into JSON with its fields in declaration order
// (absent optional values as null).
Json read_app_key(std::string_view bytes);
Json read_claims(std::string_view bytes);
Json read_deed(std::string_view bytes);
Json read_pkce(std::string_view bytes);

// Writes a Deed given as JSON (the shape read_deed produces) in its nested
// form. Throws std::invalid_argument with a readable reason when the JSON
// does not describe a Deed.
std::string write_deed(const Json& deed);

// Lower-case hex of bytes, and its inverse (either case, optional "0x";
// nullopt when malformed).
std::string to_hex(std::string_view bytes);
std::optional<std::string> from_hex(std::string_view text);

}  // namespace quorent_cli
