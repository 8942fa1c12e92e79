// The shared operation cases (tests/cases/operations.json), run the way a
// binding runs them: arguments lowered into library-made buffers in their
// direct and nested forms, results lifted back and compared in the file's
// value forms, every received buffer freed.
// Laid out by hand (tables aligned by hand):
// clang-format off
#include <rapidjson/document.h>
#include <rapidjson/istreamwrapper.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>

#include "host.hpp"

using namespace host;

namespace {

using Json = rapidjson::Value;
using Alloc = rapidjson::Document::AllocatorType;

// The member `key` of an object; a missing member fails the case.
const Json& at(const Json& v, const std::string& key) {
    if (!v.IsObject()) throw std::invalid_argument("not an object where '" + key + "' is looked up");
    const auto it = v.FindMember(key.c_str());
    if (it == v.MemberEnd()) throw std::out_of_range("no member '" + key + "'");
    return it->value;
}

bool has(const Json& v, const char* key) { return v.IsObject() && v.HasMember(key); }

std::string text(const Json& v) {
    if (!v.IsString()) throw std::invalid_argument("a string was expected");
    return std::string(v.GetString(), v.GetStringLength());
}

std::string dump(const Json& v) {
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    v.Accept(writer);
    return std::string(out.GetString(), out.GetSize());
}

Json string_value(const std::string& s, Alloc& a) {
    return Json(s.data(), static_cast<rapidjson::SizeType>(s.size()), a);
}

// The argument types of every operation and its result type, in the forms the
// bindings use: u8, u64, bool, str, bytes, opt:<type>, record:<Name>.
const std::map<std::string, std::vector<std::pair<std::string, std::string>>> kRecords = {
    {"AppKey", {{"secret_key_hex", "str"}, {"pubkey_hex", "str"}}},
    {"Claims",
     {{"iss", "str"}, {"sub", "str"}, {"aud", "str"}, {"exp", "u64"}, {"iat", "u64"}, {"tid", "opt:u64"},
      {"nonce", "opt:str"}}},
    {"Deed",
     {{"v", "u8"}, {"mode", "str"}, {"tenant", "u64"}, {"sub", "str"}, {"aud", "str"}, {"challenge", "str"},
      {"exp", "u64"}, {"root", "opt:str"}, {"proof", "opt:str"}, {"pubkey", "opt:str"}, {"signature", "opt:str"},
      {"credential_pubkey", "opt:str"}, {"authenticator_data", "opt:str"}, {"client_data_json", "opt:str"},
      {"assertion_sig", "opt:str"}, {"signer", "opt:str"}, {"grants", "opt:str"}, {"delegations", "opt:str"}}},
    {"Pkce", {{"verifier", "str"}, {"challenge", "str"}}},
};

// One lowered argument: whichever member the parameter's C type takes.
struct Lowered {
    uint64_t u = 0;
    int8_t b = 0;
    RustBuffer buf{0, 0, nullptr};
};

struct Result {
    Outcome outcome;  // buffer results: outcome.value
    uint64_t u = 0;
    int8_t b = 0;
};

template <class T>
T pick(const Lowered& l) {
    if constexpr (std::is_same_v<T, uint64_t>) return l.u;
    else if constexpr (std::is_same_v<T, int8_t>) return l.b;
    else return l.buf;
}

template <class R, class... P, size_t... I>
Result invoke(R (*fn)(P...), const std::vector<Lowered>& a, std::index_sequence<I...>) {
    RustCallStatus st = fresh_status();
    R r = fn(pick<std::tuple_element_t<I, std::tuple<P...>>>(a[I])..., &st);
    Result out;
    read_status(st, out.outcome);
    if constexpr (std::is_same_v<R, RustBuffer>) {
        if (st.code == 0) {
            out.outcome.value = take(r);
        } else {
            EXPECT_EQ(r.data, nullptr);
            EXPECT_EQ(r.len, 0u);
        }
    } else if constexpr (std::is_same_v<R, uint64_t>) {
        out.u = r;
    } else {
        out.b = r;
    }
    return out;
}

struct Op {
    std::vector<std::pair<std::string, std::string>> args;
    std::string ret;
    std::function<Result(const std::vector<Lowered>&)> call;
};

template <class R, class... P>
Op op(R (*fn)(P...), std::vector<std::pair<std::string, std::string>> args, std::string ret) {
    static_assert(sizeof...(P) >= 1);
    return Op{std::move(args), std::move(ret), [fn](const std::vector<Lowered>& a) {
                  return invoke(fn, a, std::make_index_sequence<sizeof...(P) - 1>{});
              }};
}

#define FN(name) uniffi_quorent_sdk_uniffi_fn_func_##name
const std::map<std::string, Op>& operations() {
    static const std::map<std::string, Op> ops = {
        {"build_authorize_url",
         op(FN(build_authorize_url),
            {{"issuer", "str"}, {"client_id", "str"}, {"redirect_uri", "str"}, {"state", "str"}, {"nonce", "str"},
             {"code_challenge", "str"}},
            "str")},
        {"build_client_assertion",
         op(FN(build_client_assertion), {{"domain", "str"}, {"tenant_id", "u64"}, {"nonce", "str"}, {"issued_at", "u64"}},
            "str")},
        {"decode_bool_return", op(FN(decode_bool_return), {{"ret", "bytes"}}, "bool")},
        {"delegate",
         op(FN(delegate),
            {{"tenant_id", "u64"}, {"iss", "str"}, {"to", "str"}, {"grants_json", "str"}, {"exp", "u64"},
             {"epoch_label_hex", "str"}, {"epoch", "u64"}, {"parent_ref_hash_hex", "str"}, {"pubkey_hex", "opt:str"},
             {"signature_hex", "str"}},
            "str")},
        {"delegation_binding",
         op(FN(delegation_binding),
            {{"tenant_id", "u64"}, {"iss", "str"}, {"to", "str"}, {"grants_json", "str"}, {"exp", "u64"},
             {"epoch_label_hex", "str"}, {"epoch", "u64"}, {"parent_ref_hash_hex", "str"}},
            "str")},
        {"derive_app_key",
         op(FN(derive_app_key), {{"root_seed_hex", "str"}, {"tenant_id", "u64"}, {"origin", "str"}}, "record:AppKey")},
        {"derive_root_seed",
         op(FN(derive_root_seed), {{"origin", "str"}, {"signature1_hex", "str"}, {"signature2_hex", "str"}}, "str")},
        {"generate_pkce", op(FN(generate_pkce), {}, "record:Pkce")},
        {"is_origin_voucher_calldata",
         op(FN(is_origin_voucher_calldata), {{"tenant_id", "u64"}, {"signer_hex", "str"}, {"epoch", "u64"}}, "bytes")},
        {"issuer_key_id", op(FN(issuer_key_id), {{"jwk_json", "str"}}, "str")},
        {"mint_admin_deed",
         op(FN(mint_admin_deed),
            {{"wallet_sig_hex", "str"}, {"tenant_id", "u64"}, {"aud", "str"}, {"challenge", "str"}, {"exp", "u64"}},
            "record:Deed")},
        {"mint_admin_deed_smartwallet",
         op(FN(mint_admin_deed_smartwallet),
            {{"signer_addr_hex", "str"}, {"wallet_sig_hex", "str"}, {"tenant_id", "u64"}, {"aud", "str"},
             {"challenge", "str"}, {"exp", "u64"}},
            "record:Deed")},
        {"mint_capability_deed",
         op(FN(mint_capability_deed),
            {{"base_deed", "record:Deed"}, {"grants_json", "str"}, {"delegation_chain_json", "str"}}, "record:Deed")},
        {"mint_user_1271_deed",
         op(FN(mint_user_1271_deed),
            {{"signer_addr_hex", "str"}, {"wallet_sig_hex", "str"}, {"tenant_id", "u64"}, {"aud", "str"},
             {"origin", "str"}, {"challenge", "str"}, {"exp", "u64"}},
            "record:Deed")},
        {"mint_user_deed",
         op(FN(mint_user_deed),
            {{"secret_key_hex", "str"}, {"tenant_id", "u64"}, {"aud", "str"}, {"origin", "str"}, {"challenge", "str"},
             {"exp", "u64"}},
            "record:Deed")},
        {"mint_user_passkey_deed",
         op(FN(mint_user_passkey_deed),
            {{"credential_pubkey_hex", "str"}, {"authenticator_data_hex", "str"}, {"client_data_json_b64url", "str"},
             {"assertion_sig_hex", "str"}, {"tenant_id", "u64"}, {"aud", "str"}, {"origin", "str"},
             {"challenge", "str"}, {"exp", "u64"}},
            "record:Deed")},
        {"normalize_origin", op(FN(normalize_origin), {{"origin", "str"}}, "str")},
        {"origin_vouch_binding",
         op(FN(origin_vouch_binding),
            {{"tenant_id", "u64"}, {"aud", "str"}, {"origin", "str"}, {"epoch", "u64"}, {"exp", "u64"},
             {"allow_insecure_origin", "bool"}},
            "str")},
        {"origin_vouch_max_ttl_secs", op(FN(origin_vouch_max_ttl_secs), {}, "u64")},
        {"origin_vouch_signer",
         op(FN(origin_vouch_signer),
            {{"tenant_id", "u64"}, {"aud", "str"}, {"origin", "str"}, {"epoch", "u64"}, {"exp", "u64"},
             {"signature_hex", "str"}},
            "str")},
        {"parent_ref_hash_link", op(FN(parent_ref_hash_link), {{"parent_link_json", "str"}}, "str")},
        {"parent_ref_hash_root", op(FN(parent_ref_hash_root), {{"root_id", "str"}}, "str")},
        {"passkey_sub",
         op(FN(passkey_sub), {{"tenant_id", "u64"}, {"origin", "str"}, {"credential_pubkey_hex", "str"}}, "str")},
        {"pkce_challenge", op(FN(pkce_challenge), {{"verifier", "str"}}, "str")},
        {"sign_client_assertion",
         op(FN(sign_client_assertion),
            {{"secret_key_hex", "str"}, {"domain", "str"}, {"tenant_id", "u64"}, {"nonce", "str"},
             {"issued_at", "u64"}},
            "str")},
        {"user_binding",
         op(FN(user_binding),
            {{"tenant_id", "u64"}, {"aud", "str"}, {"origin", "str"}, {"challenge", "str"}, {"exp", "u64"}}, "str")},
        {"user_root_binding", op(FN(user_root_binding), {{"origin", "str"}}, "str")},
        {"user_sub", op(FN(user_sub), {{"pubkey_hex", "str"}}, "str")},
        {"verify_token_at",
         op(FN(verify_token_at),
            {{"jwt", "str"}, {"jwks_json", "str"}, {"expected_iss", "str"}, {"expected_aud", "str"},
             {"now_unix", "u64"}},
            "record:Claims")},
    };
    return ops;
}
#undef FN

std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

uint64_t decimal(const Json& v) {
    const std::string s = text(v);
    size_t used = 0;
    const uint64_t n = std::stoull(s, &used, 10);
    EXPECT_EQ(used, s.size()) << s;
    return n;
}

// The nested form of a value given in the file's form.
std::string nested_value(const std::string& t, const Json& v) {
    if (t == "u8") return std::string(1, static_cast<char>(v.GetInt()));
    if (t == "u64") return be64(decimal(v));
    if (t == "bool") return std::string(1, v.GetBool() ? '\1' : '\0');
    if (t == "str") return nested(text(v));
    if (t == "bytes") return nested(unhex(text(v)));
    if (t.rfind("opt:", 0) == 0) return v.IsNull() ? std::string(1, '\0') : '\1' + nested_value(t.substr(4), v);
    std::string out;
    for (const auto& [name, ft] : kRecords.at(t.substr(7))) out += nested_value(ft, at(v, name));
    return out;
}

// A value read back from its nested form into the file's form.
Json read_value(const std::string& t, Cursor& c, Alloc& a) {
    if (t == "u8") return Json(static_cast<unsigned>(c.u8()));
    if (t == "u64") return string_value(std::to_string(c.u64()), a);
    if (t == "str") return string_value(c.str(), a);
    if (t == "bytes") return string_value(hex_of(c.str()), a);
    if (t.rfind("opt:", 0) == 0) return c.u8() == 0 ? Json() : read_value(t.substr(4), c, a);
    Json out(rapidjson::kObjectType);
    for (const auto& [name, ft] : kRecords.at(t.substr(7))) out.AddMember(string_value(name, a), read_value(ft, c, a), a);
    return out;
}

Lowered lower(const std::string& t, const Json& v) {
    Lowered l;
    const bool raw = has(v, "raw_hex");
    if (t == "u64") {
        l.u = decimal(v);
    } else if (t == "bool") {
        l.b = raw ? static_cast<int8_t>(unhex(text(at(v, "raw_hex"))).at(0)) : (v.GetBool() ? 1 : 0);
    } else {
        // A text crosses as its raw bytes; everything else in its nested form.
        const std::string bytes = raw ? unhex(text(at(v, "raw_hex"))) : t == "str" ? text(v) : nested_value(t, v);
        l.buf = buf(bytes);
    }
    return l;
}

Json lift(const std::string& t, const Result& r, Alloc& a) {
    if (t == "u64") return string_value(std::to_string(r.u), a);
    if (t == "bool") {
        EXPECT_TRUE(r.b == 0 || r.b == 1);
        return Json(r.b == 1);
    }
    if (t == "str") return string_value(r.outcome.value, a);
    Cursor c(r.outcome.value);
    Json v = read_value(t, c, a);
    EXPECT_TRUE(c.done()) << "bytes left after the result";
    return v;
}

void load_cases(rapidjson::Document& doc) {
    std::ifstream in(QUORENT_CASES_FILE, std::ios::binary);
    ASSERT_TRUE(in) << QUORENT_CASES_FILE;
    rapidjson::IStreamWrapper stream(in);
    doc.ParseStream<rapidjson::kParseFullPrecisionFlag | rapidjson::kParseValidateEncodingFlag>(stream);
    ASSERT_FALSE(doc.HasParseError()) << "not JSON at byte " << doc.GetErrorOffset();
}

TEST(SharedCases, EveryCaseThroughTheBufferProtocol) {
    rapidjson::Document doc;
    ASSERT_NO_FATAL_FAILURE(load_cases(doc));
    std::set<std::string> seen;
    for (const Json& c : at(doc, "cases").GetArray()) {
        const std::string name = text(at(c, "name")), op_name = text(at(c, "op"));
        SCOPED_TRACE(name);
        const Op& op = operations().at(op_name);
        seen.insert(op_name);
        const Json& args = at(c, "args");
        ASSERT_EQ(args.MemberCount(), op.args.size());
        std::vector<Lowered> lowered;
        for (const auto& [arg, t] : op.args) lowered.push_back(lower(t, at(args, arg)));
        const Result r = op.call(lowered);
        const Outcome& o = r.outcome;
        rapidjson::Document lifted;
        if (has(c, "ok")) {
            ASSERT_EQ(o.code, 0) << o.message;
            const Json v = lift(op.ret, r, lifted.GetAllocator());
            EXPECT_TRUE(v == at(c, "ok")) << dump(v) << " != " << dump(at(c, "ok"));
        } else if (has(c, "ok_pattern")) {
            ASSERT_EQ(o.code, 0) << o.message;
            const Json v = lift(op.ret, r, lifted.GetAllocator());
            for (const auto& [field, pattern] : at(c, "ok_pattern").GetObject())
                EXPECT_TRUE(std::regex_match(text(at(v, text(field))), std::regex(text(pattern)))) << text(field);
        } else if (has(c, "err")) {
            ASSERT_EQ(o.code, 1) << o.message;
            const Json& err = at(c, "err");
            EXPECT_EQ(o.variant, text(at(err, "variant")) == "Sdk" ? 1 : 2);
            EXPECT_EQ(o.message, text(at(err, "message")));
        } else {
            ASSERT_EQ(o.code, 2);
            const std::string prefix = text(at(c, "internal_prefix"));
            EXPECT_EQ(o.message.substr(0, prefix.size()), prefix);
        }
    }
    std::set<std::string> all;
    for (const auto& [op_name, _] : operations()) all.insert(op_name);
    EXPECT_EQ(seen, all) << "every operation has at least one case";
}

}  // namespace
// clang-format on
