#include "quorent/capability.hpp"

#include "quorent/sovereign.hpp"

#include <algorithm>
#include <cstring>

namespace quorent::capability {

namespace {

using json::Member;
using json::Reader;

constexpr Member<Caveats> kCaveats[] = {
    {{"exp", false}, [](Reader& r, Caveats& c) { return r.optional_u64(c.exp); }},
    {{"max_uses", false}, [](Reader& r, Caveats& c) { return r.optional_u64(c.max_uses); }},
    {{"nb", false}, [](Reader& r, Caveats& c) { return r.canonical_map(c.nb); }},
};

constexpr Member<Grant> kGrant[] = {
    {{"res", true}, [](Reader& r, Grant& g) { return r.string(g.res); }},
    {{"act", true}, [](Reader& r, Grant& g) { return r.array([&] { return r.string(g.act.emplace_back()); }); }},
    {{"cav", true}, [](Reader& r, Grant& g) { return r.record("Caveats", kCaveats, 2, g.cav); }},
};

Status read_grants(Reader& r, std::vector<Grant>& grants) {
    return r.array([&] { return r.record("Grant", kGrant, 3, grants.emplace_back()); });
}

Status read_epoch_label(Reader& r, Bytes32& label) {
    std::string text;
    QUORENT_CHECK(r.string(text));
    Bytes bytes;
    std::string message;
    if (!hex_decode(text, bytes, message)) return r.invalid_value(std::move(message));
    if (bytes.size() != label.size()) return r.invalid_value("epoch_label must be 32 bytes");
    std::copy(bytes.begin(), bytes.end(), label.begin());
    return {};
}

constexpr Member<Delegation> kDelegation[] = {
    {{"iss", true}, [](Reader& r, Delegation& d) { return r.string(d.iss); }},
    {{"to", true}, [](Reader& r, Delegation& d) { return r.string(d.to); }},
    {{"grants", true}, [](Reader& r, Delegation& d) { return read_grants(r, d.grants); }},
    {{"exp", true}, [](Reader& r, Delegation& d) { return r.u64(d.exp); }},
    {{"epoch_label", true}, [](Reader& r, Delegation& d) { return read_epoch_label(r, d.epoch_label); }},
    {{"epoch", true}, [](Reader& r, Delegation& d) { return r.u64(d.epoch); }},
    {{"sig", true}, [](Reader& r, Delegation& d) { return r.string(d.sig); }},
    {{"pubkey", false}, [](Reader& r, Delegation& d) { return r.optional_string(d.pubkey); }},
    {{"kind", false}, [](Reader& r, Delegation& d) { return r.optional_string(d.kind); }},
    {{"proof", false}, [](Reader& r, Delegation& d) { return r.optional_string(d.proof); }},
    {{"root", false}, [](Reader& r, Delegation& d) { return r.optional_string(d.root); }},
    {{"salt", false}, [](Reader& r, Delegation& d) { return r.optional_string(d.salt); }},
};

Status read_delegation(Reader& r, Delegation& d) { return r.record("Delegation", kDelegation, 7, d); }

void write_caveats(std::string& out, const Caveats& cav) {
    out += '{';
    bool first = true;
    auto key = [&](const char* k) {
        if (!first) out += ',';
        first = false;
        out += k;
    };
    if (cav.exp) {
        key("\"exp\":");
        json::write_u64(out, *cav.exp);
    }
    if (cav.max_uses) {
        key("\"max_uses\":");
        json::write_u64(out, *cav.max_uses);
    }
    if (!cav.nb.empty()) {
        key("\"nb\":{");
        bool first_nb = true;
        for (const auto& [k, v] : cav.nb) {
            if (!first_nb) out += ',';
            first_nb = false;
            json::write_string(out, k);
            out += ':';
            out += v;
        }
        out += '}';
    }
    out += '}';
}

void write_optional(std::string& out, const char* key, const std::optional<std::string>& value) {
    if (!value) return;
    out += key;
    json::write_string(out, *value);
}

// Writes into a buffer sized in advance.
std::uint8_t* put_bytes(std::uint8_t* p, const void* data, std::size_t len) {
    if (len != 0) std::memcpy(p, data, len);
    return p + len;
}

std::uint8_t* put_u64(std::uint8_t* p, std::uint64_t v) {
    for (int shift = 56; shift >= 0; shift -= 8) *p++ = static_cast<std::uint8_t>(v >> shift);
    return p;
}

std::uint8_t* put_text(std::uint8_t* p, std::string_view text) {
    return put_bytes(put_u64(p, text.size()), text.data(), text.size());
}

}  // namespace

// ---- JSON ----------------------------------------------------------------------

void write_grant(std::string& out, const Grant& grant) {
    out += "{\"res\":";
    json::write_string(out, grant.res);
    out += ",\"act\":[";
    for (std::size_t i = 0; i < grant.act.size(); ++i) {
        if (i != 0) out += ',';
        json::write_string(out, grant.act[i]);
    }
    out += "],\"cav\":";
    write_caveats(out, grant.cav);
    out += '}';
}

void write_grants(std::string& out, const std::vector<Grant>& grants) {
    out += '[';
    for (std::size_t i = 0; i < grants.size(); ++i) {
        if (i != 0) out += ',';
        write_grant(out, grants[i]);
    }
    out += ']';
}

void write_delegation(std::string& out, const Delegation& d) {
    out += "{\"iss\":";
    json::write_string(out, d.iss);
    out += ",\"to\":";
    json::write_string(out, d.to);
    out += ",\"grants\":";
    write_grants(out, d.grants);
    out += ",\"exp\":";
    json::write_u64(out, d.exp);
    out += ",\"epoch_label\":\"";
    out += hex_encode(d.epoch_label.data(), d.epoch_label.size());
    out += "\",\"epoch\":";
    json::write_u64(out, d.epoch);
    out += ",\"sig\":";
    json::write_string(out, d.sig);
    write_optional(out, ",\"pubkey\":", d.pubkey);
    write_optional(out, ",\"kind\":", d.kind);
    write_optional(out, ",\"proof\":", d.proof);
    write_optional(out, ",\"root\":", d.root);
    write_optional(out, ",\"salt\":", d.salt);
    out += '}';
}

Result<std::vector<Grant>> grants_from_json(std::string_view text) {
    return json::read_text<std::vector<Grant>>(text, ErrorKind::Input, read_grants);
}

std::string grants_to_json(const std::vector<Grant>& grants) {
    std::string out;
    out.reserve(2 + grants.size() * 48);
    write_grants(out, grants);
    return out;
}

Result<Delegation> delegation_from_json(std::string_view text) {
    return json::read_text<Delegation>(text, ErrorKind::Input, read_delegation);
}

std::string delegation_to_json(const Delegation& link) {
    std::string out;
    out.reserve(256);
    write_delegation(out, link);
    return out;
}

Result<std::vector<Delegation>> delegations_from_json(std::string_view text) {
    return json::read_text<std::vector<Delegation>>(
        text, ErrorKind::Input, [](Reader& r, std::vector<Delegation>& out) {
            return r.array([&] { return read_delegation(r, out.emplace_back()); });
        });
}

std::string delegations_to_json(const std::vector<Delegation>& links) {
    std::string out;
    out.reserve(2 + links.size() * 256);
    out += '[';
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (i != 0) out += ',';
        write_delegation(out, links[i]);
    }
    out += ']';
    return out;
}

// ---- chaining --------------------------------------------------------------------

namespace {

std::string digest_hex(const Bytes32& digest) { return hex_encode(digest.data(), digest.size()); }

// A 32-byte plain hex text: a decoding fault is kind Crypto; a well-formed
// text of another length is the bare message below.
Result<Bytes32> decode_hex32(std::string_view text) {
    QUORENT_TRY(const Bytes bytes, hex_decode(text, ErrorKind::Crypto));
    if (bytes.size() != 32) return CoreError{ErrorKind::Plain, "expected 32 bytes of hex"};
    Bytes32 out;
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

}  // namespace

std::string parent_ref_hash_root(std::string_view root_id) { return digest_hex(sha256(root_id)); }

Bytes32 parent_ref_hash_link(const Delegation& link) { return sha256(delegation_to_json(link)); }

Result<std::string> parent_ref_hash_link(std::string_view parent_link_json) {
    QUORENT_TRY(const Delegation link, delegation_from_json(parent_link_json));
    return digest_hex(parent_ref_hash_link(link));
}

Bytes delegation_binding(std::uint64_t tenant, std::string_view iss, std::string_view to,
                         const std::vector<Grant>& grants, std::uint64_t exp, const Bytes32& epoch_label,
                         std::uint64_t epoch, const Bytes32& parent_ref_hash) {
    static constexpr std::string_view kTag = "quorent-deleg-v1";
    std::string g;
    g.reserve(2 + grants.size() * 48);
    write_grants(g, grants);
    Bytes out(kTag.size() + 8 * 6 + 64 + iss.size() + to.size() + g.size());
    std::uint8_t* p = put_bytes(out.data(), kTag.data(), kTag.size());
    p = put_u64(p, tenant);
    p = put_text(p, iss);
    p = put_text(p, to);
    p = put_text(p, g);
    p = put_u64(p, exp);
    p = put_bytes(p, epoch_label.data(), epoch_label.size());
    p = put_u64(p, epoch);
    put_bytes(p, parent_ref_hash.data(), parent_ref_hash.size());
    return out;
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
    link.sig = hex_encode(signature);
    link.pubkey = std::move(pubkey);
    return link;
}

sovereign::Deed with_capabilities(sovereign::Deed deed, std::vector<Grant> grants,
                                  std::vector<Delegation> delegations) {
    deed.grants = std::move(grants);
    deed.delegations = std::move(delegations);
    return deed;
}

Result<std::string> delegation_binding(std::uint64_t tenant_id, std::string_view iss, std::string_view to,
                                       std::string_view grants_json, std::uint64_t exp,
                                       std::string_view epoch_label_hex, std::uint64_t epoch,
                                       std::string_view parent_ref_hash_hex) {
    QUORENT_TRY(const std::vector<Grant> grants, grants_from_json(grants_json));
    QUORENT_TRY(const Bytes32 label, decode_hex32(epoch_label_hex));
    QUORENT_TRY(const Bytes32 parent, decode_hex32(parent_ref_hash_hex));
    return hex_encode(delegation_binding(tenant_id, iss, to, grants, exp, label, epoch, parent));
}

Result<std::string> delegate(std::uint64_t tenant_id, std::string_view iss, std::string_view to,
                             std::string_view grants_json, std::uint64_t exp, std::string_view epoch_label_hex,
                             std::uint64_t epoch, std::string_view parent_ref_hash_hex,
                             std::optional<std::string_view> pubkey_hex, std::string_view signature_hex) {
    QUORENT_TRY(std::vector<Grant> grants, grants_from_json(grants_json));
    QUORENT_TRY(const Bytes32 label, decode_hex32(epoch_label_hex));
    QUORENT_TRY(const Bytes32 parent, decode_hex32(parent_ref_hash_hex));
    QUORENT_TRY(const Bytes signature, hex_decode(strip_0x_prefixes(signature_hex), ErrorKind::Crypto));
    std::optional<std::string> pubkey;
    if (pubkey_hex) pubkey.emplace(*pubkey_hex);
    QUORENT_TRY(const Delegation link,
                delegate(tenant_id, std::string(iss), std::string(to), std::move(grants), exp, label, epoch, parent,
                         std::move(pubkey), [&](const Bytes&) -> Result<Bytes> { return signature; }));
    return delegation_to_json(link);
}

Result<sovereign::Deed> mint_capability_deed(const sovereign::DeedRecord& base_deed, std::string_view grants_json,
                                             std::string_view delegation_chain_json) {
    QUORENT_TRY(sovereign::Deed deed, sovereign::record_to_deed(base_deed));
    QUORENT_TRY(std::vector<Grant> grants, grants_from_json(grants_json));
    QUORENT_TRY(std::vector<Delegation> chain, delegations_from_json(delegation_chain_json));
    return with_capabilities(std::move(deed), std::move(grants), std::move(chain));
}

}  // namespace quorent::capability
