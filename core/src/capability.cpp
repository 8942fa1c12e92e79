#include "quorent/capability.hpp"

#include "quorent/sovereign.hpp"

#include "json_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace quorent::capability {

namespace {

using json::Reader;

// ---- records as read ------------------------------------------------------------
// What a text holds, borrowed from it: strings are views (of the text, or of
// the reader's copy when the string holds an escape) and the `nb` object is
// its canonical text, which the reader keeps too. They live as long as the
// text and the reader that read them.

struct CaveatsView {
    std::optional<std::uint64_t> exp;
    std::optional<std::uint64_t> max_uses;
    std::string_view nb;  // the object's canonical text; unused when nb_empty
    bool nb_empty = true;
};

// A grant's actions: the first few held inline (grants name one or two).
class ActViews {
public:
    std::string_view& emplace_back() {
        return n_ < kInline ? first_[n_++] : (++n_, more_.emplace_back());
    }
    std::size_t size() const noexcept { return n_; }
    std::string_view operator[](std::size_t i) const noexcept { return i < kInline ? first_[i] : more_[i - kInline]; }

private:
    static constexpr std::size_t kInline = 4;
    std::string_view first_[kInline];
    std::size_t n_ = 0;
    std::vector<std::string_view> more_;
};

struct GrantView {
    std::string_view res;
    ActViews act;
    CaveatsView cav;
};

struct DelegationView {
    std::string_view iss;
    std::string_view to;
    std::vector<GrantView> grants;
    std::uint64_t exp = 0;
    Bytes32 epoch_label{};
    std::uint64_t epoch = 0;
    std::string_view sig;
    std::optional<std::string_view> pubkey, kind, proof, root, salt;
};

// Each record type is read by its own function: the field readers are
// called from a switch inlined into the record's loop (json_reader.hpp).

constexpr json::Field kCaveatsFields[] = {{"exp", false}, {"max_uses", false}, {"nb", false}};
constexpr json::Record kCaveats = json::make_record("Caveats", kCaveatsFields, 2);

Status read_caveats(Reader& r, CaveatsView& c) {
    return r.record_with(kCaveats, [&](std::size_t i) {
        switch (i) {
            case 0: return r.optional_u64(c.exp);
            case 1: return r.optional_u64(c.max_uses);
            default: return r.canonical_object(c.nb, c.nb_empty);
        }
    });
}

constexpr json::Field kGrantFields[] = {{"res", true}, {"act", true}, {"cav", true}};
constexpr json::Record kGrant = json::make_record("Grant", kGrantFields, 3);

Status read_grant(Reader& r, GrantView& g) {
    return r.record_with(kGrant, [&](std::size_t i) {
        switch (i) {
            case 0: return r.view(g.res);
            case 1: return r.array_with([&] { return r.view(g.act.emplace_back()); });
            default: return read_caveats(r, g.cav);
        }
    });
}

Status read_grants(Reader& r, std::vector<GrantView>& grants) {
    grants.reserve(4);  // lists are short: one allocation for most
    return r.array_with([&] { return read_grant(r, grants.emplace_back()); });
}

// Sixty-four hex digits of a public value; false for any other text (the
// general decoding then names the fault).
bool hex32(std::string_view text, Bytes32& out) noexcept { return hex_decode_var(text, out.data(), out.size()); }

Status read_epoch_label(Reader& r, Bytes32& label) {
    std::string_view text;
    QUORENT_CHECK(r.view(text));
    if (hex32(text, label)) return {};
    Bytes bytes;
    std::string message;
    if (!hex_decode(text, bytes, message)) return r.invalid_value(std::move(message));
    if (bytes.size() != label.size()) return r.invalid_value("epoch_label must be 32 bytes");
    std::copy(bytes.begin(), bytes.end(), label.begin());
    return {};
}

constexpr json::Field kDelegationFields[] = {
    {"iss", true},  {"to", true},      {"grants", true}, {"exp", true},   {"epoch_label", true}, {"epoch", true},
    {"sig", true},  {"pubkey", false}, {"kind", false},  {"proof", false}, {"root", false},       {"salt", false},
};
constexpr json::Record kDelegation = json::make_record("Delegation", kDelegationFields, 7);

Status read_delegation(Reader& r, DelegationView& d) {
    return r.record_with(kDelegation, [&](std::size_t i) {
        switch (i) {
            case 0: return r.view(d.iss);
            case 1: return r.view(d.to);
            case 2: return read_grants(r, d.grants);
            case 3: return r.u64(d.exp);
            case 4: return read_epoch_label(r, d.epoch_label);
            case 5: return r.u64(d.epoch);
            case 6: return r.view(d.sig);
            case 7: return r.optional_view(d.pubkey);
            case 8: return r.optional_view(d.kind);
            case 9: return r.optional_view(d.proof);
            case 10: return r.optional_view(d.root);
            default: return r.optional_view(d.salt);
        }
    });
}

Status read_delegations(Reader& r, std::vector<DelegationView>& links) {
    links.reserve(2);
    return r.array_with([&] { return read_delegation(r, links.emplace_back()); });
}

// Reads the whole text with `read` into `out`; kind Input on a fault.
template <class T, class F>
Status read_all(Reader& r, T& out, F read) {
    QUORENT_CHECK(read(r, out));
    return r.end();
}

// ---- owned records from borrowed ones ----------------------------------------------

std::optional<std::string> owned(const std::optional<std::string_view>& v) {
    if (!v) return std::nullopt;
    return std::string(*v);
}

Grant owned(const GrantView& v) {
    Grant g;
    g.res = std::string(v.res);
    g.act.reserve(v.act.size());
    for (std::size_t i = 0; i < v.act.size(); ++i) g.act.emplace_back(v.act[i]);
    g.cav.exp = v.cav.exp;
    g.cav.max_uses = v.cav.max_uses;
    if (!v.cav.nb_empty) {
        Reader r(v.cav.nb);
        (void)r.canonical_map(g.cav.nb);  // canonical text, read once already
    }
    return g;
}

std::vector<Grant> owned(const std::vector<GrantView>& v) {
    std::vector<Grant> out;
    out.reserve(v.size());
    for (const GrantView& g : v) out.push_back(owned(g));
    return out;
}

Delegation owned(const DelegationView& v) {
    Delegation d;
    d.iss = std::string(v.iss);
    d.to = std::string(v.to);
    d.grants = owned(v.grants);
    d.exp = v.exp;
    d.epoch_label = v.epoch_label;
    d.epoch = v.epoch;
    d.sig = std::string(v.sig);
    d.pubkey = owned(v.pubkey);
    d.kind = owned(v.kind);
    d.proof = owned(v.proof);
    d.root = owned(v.root);
    d.salt = owned(v.salt);
    return d;
}

// ---- canonical writing, of owned and of borrowed records ---------------------------

// The text being written: a buffer grown by doubling, its appends inline
// (std::string's are calls, one per piece, and the pieces are short).
class Sink {
public:
    explicit Sink(std::size_t capacity) : buf_(capacity, '\0') {}

    [[gnu::always_inline]] void put(char c) {
        room(1);
        buf_[n_++] = c;
    }
    [[gnu::always_inline]] void put(std::string_view s) {
        if (s.empty()) return;  // an empty view's data() may be null, which memcpy must not get
        room(s.size());
        std::memcpy(buf_.data() + n_, s.data(), s.size());
        n_ += s.size();
    }
    // Room for k bytes, written by the caller, at the returned place.
    [[gnu::always_inline]] char* extend(std::size_t k) {
        room(k);
        char* at = buf_.data() + n_;
        n_ += k;
        return at;
    }
    void put_decimal(std::uint64_t v) {
        char digits[20];
        const auto r = std::to_chars(digits, digits + sizeof digits, v);
        put(std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)));
    }
    std::size_t size() const noexcept { return n_; }
    char* data() noexcept { return buf_.data(); }
    std::string_view view() const noexcept { return std::string_view(buf_.data(), n_); }
    std::string take() && {
        buf_.resize(n_);
        return std::move(buf_);
    }

private:
    void room(std::size_t k) {
        if (buf_.size() - n_ < k) grow(k);
    }
    [[gnu::noinline]] void grow(std::size_t k) { buf_.resize(std::max(buf_.size() * 2, n_ + k)); }

    std::string buf_;
    std::size_t n_ = 0;
};

// The strings of records as canonical JSON. A view into the text the record
// was read from (a string without escapes) is its own canonical text: the
// reader has found no quote, backslash or control character in it, which
// is all write_string() escapes. It is copied as it stands, with the
// quotes that enclose it in the text; any other
// string (decoded from escapes, an owned record's, an argument's) is
// escaped as need be.
class Strings {
public:
    Strings() = default;
    explicit Strings(std::string_view text) noexcept : text_(text) {}

    void put(Sink& out, std::string_view s) const {
        // Unsigned: a view before the text comes out far beyond it.
        const std::size_t at = reinterpret_cast<std::uintptr_t>(s.data()) - reinterpret_cast<std::uintptr_t>(text_.data());
        if (at != 0 && at < text_.size() && s.size() < text_.size() - at) {
            out.put(std::string_view(s.data() - 1, s.size() + 2));  // with the quotes around it in the text
        } else {
            std::string escaped;
            json::write_string(escaped, s);
            out.put(escaped);
        }
    }

private:
    std::string_view text_;
};

bool has_nb(const Caveats& cav) { return !cav.nb.empty(); }
bool has_nb(const CaveatsView& cav) { return !cav.nb_empty; }

void write_nb(Sink& out, const Caveats& cav) {
    out.put('{');
    bool first = true;
    std::string key;
    for (const auto& [k, v] : cav.nb) {
        if (!first) out.put(',');
        first = false;
        key.clear();
        json::write_string(key, k);
        out.put(key);
        out.put(':');
        out.put(v);
    }
    out.put('}');
}

void write_nb(Sink& out, const CaveatsView& cav) { out.put(cav.nb); }

template <class C>
void write_caveats(Sink& out, const C& cav) {
    out.put('{');
    bool first = true;
    auto key = [&](std::string_view k) {
        if (!first) out.put(',');
        first = false;
        out.put(k);
    };
    if (cav.exp) {
        key("\"exp\":");
        out.put_decimal(*cav.exp);
    }
    if (cav.max_uses) {
        key("\"max_uses\":");
        out.put_decimal(*cav.max_uses);
    }
    if (has_nb(cav)) {
        key("\"nb\":");
        write_nb(out, cav);
    }
    out.put('}');
}

template <class G>
void write_grant_of(Sink& out, const G& grant, const Strings& str) {
    out.put("{\"res\":");
    str.put(out, grant.res);
    out.put(",\"act\":[");
    for (std::size_t i = 0; i < grant.act.size(); ++i) {
        if (i != 0) out.put(',');
        str.put(out, grant.act[i]);
    }
    out.put("],\"cav\":");
    write_caveats(out, grant.cav);
    out.put('}');
}

template <class G>
void write_grants_of(Sink& out, const std::vector<G>& grants, const Strings& str) {
    out.put('[');
    for (std::size_t i = 0; i < grants.size(); ++i) {
        if (i != 0) out.put(',');
        write_grant_of(out, grants[i], str);
    }
    out.put(']');
}

template <class S>
void write_optional(Sink& out, std::string_view key, const std::optional<S>& value, const Strings& str) {
    if (!value) return;
    out.put(key);
    str.put(out, *value);
}

// `str` writes the link's own strings, `grant_str` those of its grants.
template <class D>
void write_delegation_of(Sink& out, const D& d, const Strings& str, const Strings& grant_str) {
    out.put("{\"iss\":");
    str.put(out, d.iss);
    out.put(",\"to\":");
    str.put(out, d.to);
    out.put(",\"grants\":");
    write_grants_of(out, d.grants, grant_str);
    out.put(",\"exp\":");
    out.put_decimal(d.exp);
    out.put(",\"epoch_label\":\"");
    hex_encode_into_var(out.extend(2 * d.epoch_label.size()), d.epoch_label.data(), d.epoch_label.size());
    out.put("\",\"epoch\":");
    out.put_decimal(d.epoch);
    out.put(",\"sig\":");
    str.put(out, d.sig);
    write_optional(out, ",\"pubkey\":", d.pubkey, str);
    write_optional(out, ",\"kind\":", d.kind, str);
    write_optional(out, ",\"proof\":", d.proof, str);
    write_optional(out, ",\"root\":", d.root, str);
    write_optional(out, ",\"salt\":", d.salt, str);
    out.put('}');
}

template <class D>
void write_delegations_of(Sink& out, const std::vector<D>& links, const Strings& str) {
    out.put('[');
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (i != 0) out.put(',');
        write_delegation_of(out, links[i], str, str);
    }
    out.put(']');
}

// Appends to `out` big-endian, length-prefixed, as the binding has them.
void put_u64(char* at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<char>(v >> (56 - 8 * i));
}
void put_u64(Sink& out, std::uint64_t v) { put_u64(out.extend(8), v); }

void put_text(Sink& out, std::string_view text) {
    put_u64(out, text.size());
    out.put(text);
}

void put_bytes(Sink& out, const Bytes32& b) {
    out.put(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

// The binding's bytes, appended to `out`; the grants are written canonically
// in place, their length prefix filled in afterwards.
template <class G>
void append_binding(Sink& out, std::uint64_t tenant, std::string_view iss, std::string_view to,
                    const std::vector<G>& grants, const Strings& str, std::uint64_t exp, const Bytes32& epoch_label, std::uint64_t epoch,
                    const Bytes32& parent_ref_hash) {
    out.put("quorent-deleg-v1");
    put_u64(out, tenant);
    put_text(out, iss);
    put_text(out, to);
    const std::size_t prefix = out.size();
    put_u64(out, 0);
    write_grants_of(out, grants, str);
    put_u64(out.data() + prefix, out.size() - prefix - 8);
    put_u64(out, exp);
    put_bytes(out, epoch_label);
    put_u64(out, epoch);
    put_bytes(out, parent_ref_hash);
}

// A record's canonical text appended to a string.
template <class F>
void append_written(std::string& out, std::size_t capacity, F write) {
    Sink sink(capacity);
    write(sink);
    out += sink.view();
}

}  // namespace

// ---- JSON ----------------------------------------------------------------------

void write_grant(std::string& out, const Grant& grant) {
    append_written(out, 128, [&](Sink& s) { write_grant_of(s, grant, Strings()); });
}
void write_grants(std::string& out, const std::vector<Grant>& grants) {
    append_written(out, 2 + grants.size() * 128, [&](Sink& s) { write_grants_of(s, grants, Strings()); });
}
void write_delegation(std::string& out, const Delegation& d) {
    append_written(out, 256, [&](Sink& s) { write_delegation_of(s, d, Strings(), Strings()); });
}

Result<std::vector<Grant>> grants_from_json(std::string_view text) {
    Reader r(text);
    std::vector<GrantView> grants;
    if (Status s = read_all(r, grants, read_grants); !s.ok()) return std::move(s).error();
    return owned(grants);
}

std::string grants_to_json(const std::vector<Grant>& grants) {
    Sink out(2 + grants.size() * 128);
    write_grants_of(out, grants, Strings());
    return std::move(out).take();
}

namespace {

// The canonical text of a whole text read by `read` into a V and written by
// `write` (which borrows the text's own strings).
template <class V, class Read, class Write>
Result<std::string> canonical_text(std::string_view text, Read read, Write write) {
    Reader r(text);
    V records;
    if (Status s = read_all(r, records, read); !s.ok()) return std::move(s).error();
    Sink out(text.size());
    write(out, records, Strings(text));
    return std::move(out).take();
}

}  // namespace

Result<std::string> canonical_grants(std::string_view text) {
    return canonical_text<std::vector<GrantView>>(text, read_grants, write_grants_of<GrantView>);
}

Result<Delegation> delegation_from_json(std::string_view text) {
    Reader r(text);
    DelegationView link;
    if (Status s = read_all(r, link, read_delegation); !s.ok()) return std::move(s).error();
    return owned(link);
}

std::string delegation_to_json(const Delegation& link) {
    Sink out(256);
    write_delegation_of(out, link, Strings(), Strings());
    return std::move(out).take();
}

Result<std::vector<Delegation>> delegations_from_json(std::string_view text) {
    Reader r(text);
    std::vector<DelegationView> links;
    if (Status s = read_all(r, links, read_delegations); !s.ok()) return std::move(s).error();
    std::vector<Delegation> out;
    out.reserve(links.size());
    for (const DelegationView& link : links) out.push_back(owned(link));
    return out;
}

std::string delegations_to_json(const std::vector<Delegation>& links) {
    Sink out(2 + links.size() * 256);
    write_delegations_of(out, links, Strings());
    return std::move(out).take();
}

Result<std::string> canonical_delegations(std::string_view text) {
    return canonical_text<std::vector<DelegationView>>(text, read_delegations, write_delegations_of<DelegationView>);
}

// ---- chaining --------------------------------------------------------------------

namespace {

std::string digest_hex(const Bytes32& digest) { return hex_encode_var(digest.data(), digest.size()); }

// A 32-byte plain hex text: a decoding fault is kind Crypto; a well-formed
// text of another length is the bare message below.
Result<Bytes32> decode_hex32(std::string_view text) {
    Bytes32 out;
    if (hex32(text, out)) return out;
    QUORENT_TRY(const Bytes bytes, hex_decode(text, ErrorKind::Crypto));
    if (bytes.size() != 32) return CoreError{ErrorKind::Plain, "expected 32 bytes of hex"};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

}  // namespace

std::string parent_ref_hash_root(std::string_view root_id) { return digest_hex(sha256(root_id)); }

Bytes32 parent_ref_hash_link(const Delegation& link) { return sha256(delegation_to_json(link)); }

Result<std::string> parent_ref_hash_link(std::string_view parent_link_json) {
    Reader r(parent_link_json);
    DelegationView link;
    if (Status s = read_all(r, link, read_delegation); !s.ok()) return std::move(s).error();
    Sink canonical(parent_link_json.size());
    write_delegation_of(canonical, link, Strings(parent_link_json), Strings(parent_link_json));
    return digest_hex(sha256(canonical.view()));
}

Bytes delegation_binding(std::uint64_t tenant, std::string_view iss, std::string_view to,
                         const std::vector<Grant>& grants, std::uint64_t exp, const Bytes32& epoch_label,
                         std::uint64_t epoch, const Bytes32& parent_ref_hash) {
    Sink b(128 + iss.size() + to.size() + grants.size() * 128);
    append_binding(b, tenant, iss, to, grants, Strings(), exp, epoch_label, epoch, parent_ref_hash);
    const std::string_view v = b.view();
    return Bytes(v.begin(), v.end());
}

Result<Delegation> delegate(std::uint64_t tenant, std::string iss, std::string to, std::vector<Grant> grants,
                            std::uint64_t exp, const Bytes32& epoch_label, std::uint64_t epoch,
                            const Bytes32& parent_ref_hash, std::optional<std::string> pubkey, const Signer& signer) {
    const Bytes binding = delegation_binding(tenant, iss, to, grants, exp, epoch_label, epoch, parent_ref_hash);
    QUORENT_TRY(Bytes signature, signer(binding));
    Delegation link;
    link.iss = std::move(iss);
    link.to = std::move(to);
    link.grants = std::move(grants);
    link.exp = exp;
    link.epoch_label = epoch_label;
    link.epoch = epoch;
    link.sig = hex_encode_var(signature);
    link.pubkey = std::move(pubkey);
    return link;
}

Result<std::string> delegation_binding(std::uint64_t tenant_id, std::string_view iss, std::string_view to,
                                       std::string_view grants_json, std::uint64_t exp,
                                       std::string_view epoch_label_hex, std::uint64_t epoch,
                                       std::string_view parent_ref_hash_hex) {
    Reader r(grants_json);
    std::vector<GrantView> grants;
    if (Status s = read_all(r, grants, read_grants); !s.ok()) return std::move(s).error();
    QUORENT_TRY(const Bytes32 label, decode_hex32(epoch_label_hex));
    QUORENT_TRY(const Bytes32 parent, decode_hex32(parent_ref_hash_hex));
    Sink binding(128 + iss.size() + to.size() + grants_json.size());
    append_binding(binding, tenant_id, iss, to, grants, Strings(grants_json), exp, label, epoch, parent);
    std::string out(2 * binding.size(), '\0');
    hex_encode_into_var(out.data(), binding.data(), binding.size());
    return out;
}

Result<std::string> delegate(std::uint64_t tenant_id, std::string_view iss, std::string_view to,
                             std::string_view grants_json, std::uint64_t exp, std::string_view epoch_label_hex,
                             std::uint64_t epoch, std::string_view parent_ref_hash_hex,
                             std::optional<std::string_view> pubkey_hex, std::string_view signature_hex) {
    Reader r(grants_json);
    DelegationView link;
    if (Status s = read_all(r, link.grants, read_grants); !s.ok()) return std::move(s).error();
    QUORENT_TRY(link.epoch_label, decode_hex32(epoch_label_hex));
    QUORENT_TRY(const Bytes32 parent, decode_hex32(parent_ref_hash_hex));
    QUORENT_TRY(const Bytes signature, hex_decode(strip_0x_prefixes_var(signature_hex), ErrorKind::Crypto));
    // The tenant and the parent hash enter only the binding, which the
    // signature made beforehand is taken to cover: the hash is checked, the
    // binding not computed.
    (void)tenant_id;
    (void)parent;
    const std::string sig = hex_encode_var(signature);
    link.iss = iss;
    link.to = to;
    link.exp = exp;
    link.epoch = epoch;
    link.sig = sig;
    link.pubkey = pubkey_hex;
    Sink out(256 + iss.size() + to.size() + grants_json.size() + sig.size());
    write_delegation_of(out, link, Strings(), Strings(grants_json));
    return std::move(out).take();
}

Result<sovereign::Deed> mint_capability_deed(sovereign::DeedRecord&& base_deed, std::string_view grants_json,
                                             std::string_view delegation_chain_json) {
    // The base deed's own lists must read, although they are replaced.
    if (base_deed.grants) {
        Reader r(*base_deed.grants);
        std::vector<GrantView> unused;
        if (Status s = read_all(r, unused, read_grants); !s.ok()) return std::move(s).error();
    }
    if (base_deed.delegations) {
        Reader r(*base_deed.delegations);
        std::vector<DelegationView> unused;
        if (Status s = read_all(r, unused, read_delegations); !s.ok()) return std::move(s).error();
    }
    QUORENT_TRY(std::string grants, canonical_grants(grants_json));
    QUORENT_TRY(std::string chain, canonical_delegations(delegation_chain_json));
    sovereign::Deed deed;
    static_cast<sovereign::DeedFields&>(deed) = std::move(base_deed);
    deed.grants = std::move(grants);
    deed.delegations = std::move(chain);
    return deed;
}

}  // namespace quorent::capability
