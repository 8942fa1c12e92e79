#include "values.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <tuple>
#include <type_traits>
#include <utility>

#include "buffer.hpp"
#include "frame.hpp"
#include "interface.hpp"
#include "quorent/fault.hpp"

namespace quorent::ffi {

namespace {

constexpr std::size_t kMaxLength = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

std::string not_enough(std::size_t remaining, std::size_t needed) {
    return "not enough bytes remaining in buffer (" + std::to_string(remaining) + " < " + std::to_string(needed) + ")";
}

}  // namespace

void Writer::i32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
                               static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
    raw(b, 4);
}

void Writer::u64(std::uint64_t v) {
    std::uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
    raw(b, 8);
}

Writer::Writer(std::size_t capacity) : data_(allocate_storage(capacity)), cap_(capacity) {}

Writer::~Writer() { drop(); }

void Writer::drop() noexcept {
    if (data_ == nullptr) return;
    secure_wipe(data_, cap_);
    std::free(data_);
    data_ = nullptr;
}

void Writer::grow(std::size_t n) {
    const std::size_t cap = std::max(cap_ * 2, len_ + n);
    std::uint8_t* data = allocate_storage(cap);
    std::memcpy(data, data_, len_);
    const std::size_t len = len_;
    drop();
    data_ = data;
    len_ = len;
    cap_ = cap;
}

void Writer::raw(const void* data, std::size_t len) {
    room(len);
    if (len != 0) std::memcpy(data_ + len_, data, len);
    len_ += len;
}

bool Writer::length(std::size_t len) {
    if (len > kMaxLength) {
        record_fault("called `Result::unwrap()` on an `Err` value: TryFromIntError(())");
        return false;
    }
    i32(static_cast<std::int32_t>(len));
    return true;
}

RustBuffer Writer::release() {
    if (len_ != 0 && len_ == cap_) {
        const RustBuffer out{len_, len_, data_};
        data_ = nullptr;
        len_ = cap_ = 0;
        return out;
    }
    return make_buffer(data_, len_);
}

void write(Writer& w, std::uint64_t v) { w.u64(v); }

void write(Writer& w, std::string_view text) {
    if (w.length(text.size())) w.raw(text.data(), text.size());
}

void write(Writer& w, const std::optional<std::string>& v) {
    if (!v) return w.u8(0);
    w.u8(1);
    write(w, std::string_view(*v));
}

void write(Writer& w, const std::optional<std::uint64_t>& v) {
    if (!v) return w.u8(0);
    w.u8(1);
    w.u64(*v);
}

void write(Writer& w, const Bytes& bytes) {
    if (w.length(bytes.size())) w.raw(bytes.data(), bytes.size());
}

void write(Writer& w, const usersig::AppKey& v) {
    write(w, v.secret_key_hex);
    write(w, v.pubkey_hex);
}

void write(Writer& w, const token::Claims& v) {
    write(w, v.iss);
    write(w, v.sub);
    write(w, v.aud);
    w.u64(v.exp);
    w.u64(v.iat);
    write(w, v.tid);
    write(w, v.nonce);
}

void write(Writer& w, const pkce::Pkce& v) {
    write(w, v.verifier);
    write(w, v.challenge);
}

namespace {

// The members of the Deed record in the order and with the names and types
// the interface table declares for it (checked below); lifting and lowering
// walk this list.
template <class C, class M>
struct DeedMember {
    std::string_view name;
    M C::*member;
};
template <class C, class M>
DeedMember(std::string_view, M C::*) -> DeedMember<C, M>;

using sovereign::DeedRecord;
constexpr auto kDeedMembers = std::tuple{
    DeedMember{"v", &DeedRecord::v},
    DeedMember{"mode", &DeedRecord::mode},
    DeedMember{"tenant", &DeedRecord::tenant},
    DeedMember{"sub", &DeedRecord::sub},
    DeedMember{"aud", &DeedRecord::aud},
    DeedMember{"challenge", &DeedRecord::challenge},
    DeedMember{"exp", &DeedRecord::exp},
    DeedMember{"root", &DeedRecord::root},
    DeedMember{"proof", &DeedRecord::proof},
    DeedMember{"pubkey", &DeedRecord::pubkey},
    DeedMember{"signature", &DeedRecord::signature},
    DeedMember{"credential_pubkey", &DeedRecord::credential_pubkey},
    DeedMember{"authenticator_data", &DeedRecord::authenticator_data},
    DeedMember{"client_data_json", &DeedRecord::client_data_json},
    DeedMember{"assertion_sig", &DeedRecord::assertion_sig},
    DeedMember{"signer", &DeedRecord::signer},
    DeedMember{"grants", &DeedRecord::grants},
    DeedMember{"delegations", &DeedRecord::delegations},
};

template <class M>
constexpr bool same_type(iface::Type t) {
    using iface::Type;
    if constexpr (std::is_same_v<M, std::uint8_t>) return t == Type::U8;
    else if constexpr (std::is_same_v<M, std::uint64_t>) return t == Type::U64;
    else if constexpr (std::is_same_v<M, std::string>) return t == Type::String;
    else if constexpr (std::is_same_v<M, std::optional<std::string>>) return t == Type::OptionalString;
    else return false;
}

constexpr bool deed_members_match_table() {
    constexpr const iface::Record& table = iface::record("Deed");
    return std::apply(
        [&](const auto&... m) {
            std::size_t i = 0;
            bool ok = sizeof...(m) == table.field_count;
            ((ok = ok && m.name == table.fields[i].name &&
                   same_type<std::remove_cvref_t<decltype(DeedRecord{}.*m.member)>>(table.fields[i].type),
              ++i),
             ...);
            return ok;
        },
        kDeedMembers);
}
static_assert(deed_members_match_table(), "the Deed record's members differ from the interface table's fields");

template <class M>
void read_member(Reader& r, M& out) {
    if constexpr (std::is_same_v<M, std::uint8_t>) out = r.u8();
    else if constexpr (std::is_same_v<M, std::uint64_t>) out = r.u64();
    else if constexpr (std::is_same_v<M, std::string>) out = r.string();
    else out = r.optional_string();
}

template <class M>
void write_member(Writer& w, const M& v) {
    if constexpr (std::is_same_v<M, std::uint8_t>) w.u8(v);
    else write(w, v);
}

}  // namespace

template <class M>
std::size_t member_size(const M& v) {
    if constexpr (std::is_same_v<M, std::uint8_t>) return 1;
    else if constexpr (std::is_same_v<M, std::uint64_t>) return 8;
    else if constexpr (std::is_same_v<M, std::string>) return 4 + v.size();
    else return 1 + (v ? 4 + v->size() : 0);
}

std::size_t nested_size(const sovereign::DeedRecord& v) {
    return std::apply([&](const auto&... m) { return (member_size(v.*m.member) + ...); }, kDeedMembers);
}

void write(Writer& w, const sovereign::DeedRecord& v) {
    // A deed with grants and a chain outgrows the writer's first buffer:
    // room for all of it at once.
    w.reserve(nested_size(v));
    std::apply([&](const auto&... m) { (write_member(w, v.*m.member), ...); }, kDeedMembers);
}

void Reader::fail(std::string description) {
    if (!error_) error_ = std::move(description);
    rest_ = {};
}

std::string_view Reader::take(std::size_t n) {
    if (error_) return {};
    if (rest_.size() < n) {
        fail(not_enough(rest_.size(), n));
        return {};
    }
    std::string_view out = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return out;
}

std::uint8_t Reader::u8() {
    const std::string_view b = take(1);
    return b.empty() ? 0 : static_cast<std::uint8_t>(b[0]);
}

std::int32_t Reader::i32() {
    const std::string_view b = take(4);
    std::uint32_t u = 0;
    for (char c : b) u = (u << 8) | static_cast<std::uint8_t>(c);
    return static_cast<std::int32_t>(u);
}

std::uint64_t Reader::u64() {
    const std::string_view b = take(8);
    std::uint64_t u = 0;
    for (char c : b) u = (u << 8) | static_cast<std::uint8_t>(c);
    return u;
}

std::string_view Reader::text() {
    const std::int32_t len = i32();
    if (len < 0) {
        fail("out of range integral type conversion attempted");
        return {};
    }
    const std::string_view bytes = take(static_cast<std::size_t>(len));
    if (auto fault = utf8_fault(bytes)) {
        fail(std::move(*fault));
        return {};
    }
    return bytes;
}

std::string Reader::string() { return std::string(text()); }

std::optional<std::string> Reader::optional_string() {
    const auto t = optional_text();
    if (!t) return std::nullopt;
    return std::string(*t);
}

std::optional<std::string_view> Reader::optional_text() {
    const std::uint8_t tag = u8();
    if (error_) return std::nullopt;
    switch (tag) {
        case 0: return std::nullopt;
        case 1: return text();
        default: fail("unexpected tag byte for Option"); return std::nullopt;
    }
}

Bytes Reader::bytes() {
    const std::int32_t count = i32();
    if (count < 0) {
        fail("out of range integral type conversion attempted");
        return {};
    }
    const std::size_t n = static_cast<std::size_t>(count);
    if (!error_ && rest_.size() < n) {
        // Elements are read one by one: the first missing one is reported.
        fail(not_enough(0, 1));
        return {};
    }
    const std::string_view b = take(n);
    return Bytes(b.begin(), b.end());
}

sovereign::DeedRecord Reader::deed() {
    sovereign::DeedRecord d;
    std::apply([&](const auto&... m) { (read_member(*this, d.*m.member), ...); }, kDeedMembers);
    return d;
}

void Reader::finish() {
    if (!error_ && !rest_.empty())
        fail("junk data left in buffer after lifting (count: " + std::to_string(rest_.size()) + ")");
}

std::optional<std::string> utf8_fault(std::string_view text) {
    const auto fault = first_utf8_fault_var(text);
    if (!fault) return std::nullopt;
    if (fault->error_len == 0) return "incomplete utf-8 byte sequence from index " + std::to_string(fault->valid_up_to);
    return "invalid utf-8 sequence of " + std::to_string(fault->error_len) + " bytes from index " +
           std::to_string(fault->valid_up_to);
}

bool lift_bool(std::int8_t v, const char* arg, LiftFailure& failure) {
    if (failure) return false;
    if (v == 0) return false;
    if (v == 1) return true;
    failure = LiftError{arg, "unexpected byte for Boolean"};
    return false;
}

namespace {

template <class F>
auto lift(std::string_view buf, const char* arg, LiftFailure& failure, F read) -> decltype(read(std::declval<Reader&>())) {
    if (failure) return {};
    Reader r(buf);
    auto value = read(r);
    r.finish();
    if (!r.error()) return value;
    failure = LiftError{arg, *r.error()};
    return {};
}

}  // namespace

std::optional<std::string> lift_optional_string(std::string_view buf, const char* arg, LiftFailure& failure) {
    return lift(buf, arg, failure, [](Reader& r) { return r.optional_string(); });
}

std::optional<std::string_view> lift_optional_text(std::string_view buf, const char* arg, LiftFailure& failure) {
    return lift(buf, arg, failure, [](Reader& r) { return r.optional_text(); });
}

Bytes lift_bytes(std::string_view buf, const char* arg, LiftFailure& failure) {
    return lift(buf, arg, failure, [](Reader& r) { return r.bytes(); });
}

sovereign::DeedRecord lift_deed(std::string_view buf, const char* arg, LiftFailure& failure) {
    return lift(buf, arg, failure, [](Reader& r) { return r.deed(); });
}

}  // namespace quorent::ffi
