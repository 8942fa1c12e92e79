// `quorent demo`: the typical user-sig sign-in end to end, then a capability
// deed with one delegation link and an origin vouch. Every step calls the
// library through its exported functions; the wallet's signing is done here,
// in host code, with a publicly known demo key.
#include <ctime>
#include <iostream>
#include <sstream>

#include "cli.hpp"
#include "wallet.hpp"

namespace quorent_cli {

namespace {

struct Step {
    std::string title;
    std::vector<std::string> operations;
    Json entries = Json::object();
};

class Report {
public:
    explicit Report(bool json) : json_(json) {}

    void header(const Json& wallet) {
        doc_["wallet"] = wallet;
        if (json_) return;
        std::cout << "Quorent sign-in demo\n\n"
                  << "Wallet: " << wallet.find("key")->string() << "\n"
                  << "        address " << wallet.find("address")->string() << "\n"
                  << "        " << wallet.find("note")->string() << "\n";
    }

    void add(const Step& step) {
        Json j;
        j["step"] = ++count_;
        j["title"] = step.title;
        j["operations"] = step.operations;
        for (const auto& [k, v] : step.entries.members()) j[k] = v;
        doc_["steps"].push_back(j);
        if (json_) return;
        std::cout << "\n" << count_ << ". " << step.title;
        if (!step.operations.empty()) {
            std::cout << "  [";
            for (std::size_t i = 0; i < step.operations.size(); ++i) std::cout << (i ? ", " : "") << step.operations[i];
            std::cout << "]";
        }
        std::cout << "\n";
        for (const auto& [k, v] : step.entries.members()) print_entry(k, v);
        std::cout.flush();
    }

    void finish() {
        if (json_) std::cout << doc_.dump(2) << '\n';
    }

private:
    static void print_entry(const std::string& key, const Json& v) {
        std::string label = key;
        for (char& c : label)
            if (c == '_') c = ' ';
        if (v.is_string()) {
            const std::string& s = v.string();
            if (s.find('\n') == std::string::npos) {
                std::cout << "   " << label << ": " << s << "\n";
                return;
            }
            std::cout << "   " << label << ":\n";
            std::istringstream lines(s);
            std::string line;
            while (std::getline(lines, line)) std::cout << "     | " << line << "\n";
            return;
        }
        if (v.is_object()) {
            std::cout << "   " << label << ":\n";
            std::istringstream lines(v.dump(2));
            std::string line;
            while (std::getline(lines, line)) std::cout << "     " << line << "\n";
            return;
        }
        std::cout << "   " << label << ": " << v.dump() << "\n";
    }

    bool json_;
    int count_ = 0;
    Json doc_ = Json::object();
};

// One call with its arguments added by the caller; failures become CallFailed.
std::string call_text(std::string_view name, Args& args) { return check(call_operation(name, args)).bytes; }

std::string hex_text(std::string_view hex) {
    const auto bytes = from_hex(hex);
    if (!bytes) throw HostFault("the library returned malformed hex");
    return *bytes;
}

}  // namespace

const std::vector<OptSpec>& demo_options() {
    static const std::vector<OptSpec> specs = {
        {"origin", Kind::Text, "the site's origin as typed (default https://Shop.Example:443/)"},
        {"tenant_id", Kind::U64, "tenant id (default 7)"},
        {"aud", Kind::Text, "audience (default shop-api)"},
        {"challenge", Kind::Text, "the relying party's challenge (default rp-challenge-8f14e45f)"},
        {"now", Kind::U64, "the current time, unix seconds (default: the clock)"},
        {"allow_insecure_origin", Kind::Flag, "let the origin vouch accept a local-development origin"},
        {"json", Kind::Flag, "print the whole flow as one JSON document"},
    };
    return specs;
}

namespace {

std::string value_or(const Values& v, std::string_view key, std::string fallback) {
    auto it = v.find(key);
    return it == v.end() ? fallback : it->second;
}

}  // namespace

int run_demo(const std::vector<std::string>& argv) {
    const auto parsed = parse_options(demo_options(), argv);
    if (!parsed) {
        std::cout << "usage: quorent demo [options]\n\n"
                     "Runs the typical sign-in end to end, step by step: origin, root binding,\n"
                     "wallet signature, root seed, app key, user binding, deed; then a capability\n"
                     "deed with one delegation link, and an origin vouch with its recovered signer\n"
                     "and registry call data. The wallet is a built-in DEMO key in this tool.\n";
        print_option_help(demo_options());
        return kOk;
    }
    const Values& opt = *parsed;
    const std::string origin_input = value_or(opt, "origin", "https://Shop.Example:443/");
    const uint64_t tenant = parse_u64("--tenant-id", value_or(opt, "tenant_id", "7"));
    const std::string aud = value_or(opt, "aud", "shop-api");
    const std::string challenge = value_or(opt, "challenge", "rp-challenge-8f14e45f");
    const uint64_t now =
        opt.count("now") ? parse_u64("--now", opt.at("now")) : static_cast<uint64_t>(std::time(nullptr));
    const bool allow_insecure = value_or(opt, "allow_insecure_origin", "false") == "true";
    const bool as_json = value_or(opt, "json", "false") == "true";
    const std::string_view demo_key = wallet::kDemoKeyHex;
    const std::string demo_address = wallet::address_of(demo_key);

    Report report(as_json);
    Json wallet_entry = Json::object();
    wallet_entry["key"] = std::string(wallet::kDemoKeyLabel);
    wallet_entry["address"] = demo_address;
    wallet_entry["note"] =
        "The wallet signs here, in host code (EIP-191 personal_sign); the library never signs for a wallet.";
    report.header(wallet_entry);

    // 1. The site's origin, canonicalised once and used everywhere.
    std::string origin;
    {
        Args a;
        a.add_bytes(origin_input);
        origin = call_text("normalize_origin", a);
        Step s{"Origin", {"normalize_origin"}};
        s.entries["as_typed"] = origin_input;
        s.entries["canonical"] = origin;
        report.add(s);
    }

    // 2. The root binding the wallet is asked to sign.
    std::string root_message;
    {
        Args a;
        a.add_bytes(origin);
        root_message = call_text("user_root_binding", a);
        Step s{"Root binding", {"user_root_binding"}};
        s.entries["message_for_the_wallet"] = root_message;
        report.add(s);
    }

    // 3. The wallet signs it twice (host code).
    const std::string sig1 = wallet::personal_sign(demo_key, root_message);
    const std::string sig2 = wallet::personal_sign(demo_key, root_message);
    {
        Step s{"Wallet signature (DEMO key, host code)", {}};
        s.entries["signer"] = demo_address + " (demo wallet)";
        s.entries["signature"] = sig1;
        s.entries["second_signature_identical"] = sig1 == sig2;
        report.add(s);
    }

    // 4. The root seed.
    std::string seed;
    {
        Args a;
        a.add_bytes(origin);
        a.add_bytes(sig1);
        a.add_bytes(sig2);
        seed = call_text("derive_root_seed", a);
        Step s{"Root seed", {"derive_root_seed"}};
        s.entries["root_seed_hex"] = seed;
        report.add(s);
    }

    // 5. The app key for (tenant, origin).
    Json app_key;
    {
        Args a;
        a.add_bytes(seed);
        a.add_u64(tenant);
        a.add_bytes(origin);
        app_key = read_app_key(call_text("derive_app_key", a));
        Step s{"App key", {"derive_app_key"}};
        s.entries["tenant_id"] = tenant;
        s.entries["app_key"] = app_key;
        report.add(s);
    }
    const std::string app_secret = app_key["secret_key_hex"].string();
    const std::string app_pubkey = app_key["pubkey_hex"].string();

    // 6. The user binding the app key signs.
    const uint64_t deed_exp = now + 300;
    {
        Args a;
        a.add_u64(tenant);
        a.add_bytes(aud);
        a.add_bytes(origin);
        a.add_bytes(challenge);
        a.add_u64(deed_exp);
        const std::string hex = call_text("user_binding", a);
        Step s{"User binding", {"user_binding"}};
        s.entries["binding_hex"] = hex;
        s.entries["binding_text"] = hex_text(hex);
        report.add(s);
    }

    // 7. The deed.
    Json deed;
    {
        Args a;
        a.add_bytes(app_secret);
        a.add_u64(tenant);
        a.add_bytes(aud);
        a.add_bytes(origin);
        a.add_bytes(challenge);
        a.add_u64(deed_exp);
        deed = read_deed(call_text("mint_user_deed", a));
        Args b;
        b.add_bytes(app_pubkey);
        const std::string sub = call_text("user_sub", b);
        Step s{"Deed", {"mint_user_deed", "user_sub"}};
        s.entries["deed"] = deed;
        s.entries["sub_is_user_sub_of_app_key"] = sub == deed["sub"].string();
        report.add(s);
    }

    // 8. A capability deed: the user (root principal, the deed's sub) hands a
    //    grant on to an agent in one delegation link, signed by the app key.
    {
        const std::string root_id = deed["sub"].string();
        const std::string grants = R"([{"res":"orders","act":["read","create"],"cav":{"max_uses":5}}])";
        const std::string to = "agent:demo-assistant";
        const uint64_t link_exp = now + 3600;
        const std::string label = to_hex("quorent-demo-epoch-label-0000001");
        const uint64_t epoch = 1;
        Args a;
        a.add_bytes(root_id);
        const std::string parent = call_text("parent_ref_hash_root", a);
        auto link_args = [&](Args& x) {
            x.add_u64(tenant);
            x.add_bytes(root_id);
            x.add_bytes(to);
            x.add_bytes(grants);
            x.add_u64(link_exp);
            x.add_bytes(label);
            x.add_u64(epoch);
            x.add_bytes(parent);
        };
        Args b;
        link_args(b);
        const std::string binding_hex = call_text("delegation_binding", b);
        const std::string link_sig = wallet::personal_sign(app_secret, hex_text(binding_hex));
        Args c;
        link_args(c);
        std::string none;
        put_opt_str(none, std::nullopt);
        c.add_bytes(none);
        c.add_bytes(link_sig);
        const std::string link = call_text("delegate", c);
        Args d;
        d.add_bytes(write_deed(deed));
        d.add_bytes(grants);
        d.add_bytes("[" + link + "]");
        const Json cap = read_deed(call_text("mint_capability_deed", d));
        Step s{"Capability deed with one delegation link",
               {"parent_ref_hash_root", "delegation_binding", "delegate", "mint_capability_deed"}};
        s.entries["grants"] = grants;
        s.entries["delegator"] = root_id + " (the deed's sub)";
        s.entries["delegate"] = to;
        s.entries["parent_ref_hash"] = parent;
        s.entries["delegation_binding_hex"] = binding_hex;
        s.entries["link_signature"] = link_sig + " (app key, EIP-191, host code)";
        s.entries["link"] = link;
        s.entries["capability_deed"] = cap;
        report.add(s);
    }

    // 9. An origin vouch: the tenant administrator (here the same demo wallet)
    //    vouches for the origin; the holder recovers the signer and builds the
    //    registry call that confirms it.
    {
        const uint64_t epoch = 1;
        const uint64_t vouch_exp = now + 30 * 24 * 3600;
        auto vouch_args = [&](Args& x) {
            x.add_u64(tenant);
            x.add_bytes(aud);
            x.add_bytes(origin);
            x.add_u64(epoch);
            x.add_u64(vouch_exp);
        };
        Args a;
        vouch_args(a);
        a.add_flag(allow_insecure);
        const std::string message = call_text("origin_vouch_binding", a);
        const std::string admin_sig = wallet::personal_sign(demo_key, message);
        Args b;
        vouch_args(b);
        b.add_bytes(admin_sig);
        const std::string signer = call_text("origin_vouch_signer", b);
        Args c;
        const uint64_t max_ttl = check(call_operation("origin_vouch_max_ttl_secs", c)).integer;
        Args d;
        d.add_u64(tenant);
        d.add_bytes(signer);
        d.add_u64(epoch);
        const std::string calldata_form = call_text("is_origin_voucher_calldata", d);
        Cursor calldata(calldata_form);
        std::string bytes;
        for (int32_t i = 0, n = calldata.i32(); i < n; ++i) bytes.push_back(static_cast<char>(calldata.u8()));
        calldata.finish();
        std::string answer(32, '\0');
        answer[31] = '\1';
        std::string nested;
        put_i32(nested, 32);
        nested += answer;
        Args e;
        e.add_bytes(nested);
        const bool decoded = check(call_operation("decode_bool_return", e)).integer != 0;
        Step s{"Origin vouch",
               {"origin_vouch_binding", "origin_vouch_signer", "origin_vouch_max_ttl_secs",
                "is_origin_voucher_calldata", "decode_bool_return"}};
        s.entries["message_for_the_administrator"] = message;
        s.entries["administrator_signature"] = admin_sig + " (DEMO key, EIP-191, host code)";
        s.entries["recovered_signer"] = signer;
        s.entries["signer_is_demo_wallet"] = signer == demo_address;
        s.entries["vouch_lifetime_secs"] = vouch_exp - now;
        s.entries["max_vouch_lifetime_secs"] = max_ttl;
        s.entries["registry_call_data"] = "0x" + to_hex(bytes);
        s.entries["registry_call"] = "eth_call to the registry named by the discovery document's chain.registry";
        s.entries["example_answer"] = "0x" + to_hex(answer);
        s.entries["example_answer_decodes_to"] = decoded;
        report.add(s);
    }
    report.finish();
    return kOk;
}

}  // namespace quorent_cli
