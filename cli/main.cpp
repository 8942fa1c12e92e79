// quorent: one subcommand per exported operation of libquorent_sdk_uniffi,
// plus `demo`. The library is reached only through its exported C functions.
#include <csignal>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli.hpp"
#include "wallet.hpp"

namespace quorent_cli {

namespace {

// What an operation hands back, and how it is printed.
enum class Out { Text, U64, Bool, Bytes, AppKey, Claims, Deed, Pkce };

using Caller = Outcome (*)(Args&);

struct Operation {
    std::string_view name;  // snake case; the command is its kebab form
    std::vector<OptSpec> options;
    Out out;
    Caller call;
    std::string_view help;
};

#define QOP(name) [](Args& a) { return invoke(&uniffi_quorent_sdk_uniffi_fn_func_##name, a); }

constexpr bool L = true;   // may come from a file or standard input
constexpr bool S = false;  // given on the command line

OptSpec text(std::string_view name, bool long_value = S) { return {name, Kind::Text, long_value, {}}; }
OptSpec u64(std::string_view name) { return {name, Kind::U64, S, {}}; }

// Descriptions of the options, shared by every command that takes them.
const std::map<std::string_view, std::string_view>& option_help() {
    static const std::map<std::string_view, std::string_view> m = {
        {"allow_insecure_origin", "accept plain-HTTP and non-routable origins (local development only)"},
        {"assertion_sig_hex", "the WebAuthn assertion signature (DER), hex"},
        {"aud", "audience"},
        {"authenticator_data_hex", "the assertion's authenticator data, hex"},
        {"base_deed", "the deed to extend, as the JSON a mint command prints"},
        {"challenge", "the relying party's challenge"},
        {"client_data_json_b64url", "the assertion's clientDataJSON, base64url"},
        {"client_id", "OAuth client id"},
        {"code_challenge", "PKCE S256 challenge"},
        {"credential_pubkey_hex", "the passkey credential public key, hex"},
        {"delegation_chain_json", "JSON array of delegation links (as `delegate` prints them)"},
        {"domain", "the client's domain"},
        {"epoch", "epoch number"},
        {"epoch_label_hex", "epoch label, 32 bytes as hex"},
        {"exp", "expiry, unix seconds"},
        {"expected_aud", "the audience the token must carry"},
        {"expected_iss", "the issuer the token must carry"},
        {"grants_json", "JSON array of grants"},
        {"iss", "the delegator"},
        {"issued_at", "issue time, unix seconds"},
        {"issuer", "the issuer's base URL"},
        {"jwk_json", "an EC public key as a JWK (JSON)"},
        {"jwks_json", "the issuer's JWKS document (JSON)"},
        {"jwt", "the compact ES256 token"},
        {"nonce", "nonce"},
        {"now_unix", "the current time, unix seconds"},
        {"origin", "web origin, scheme://host[:port]"},
        {"parent_link_json", "the previous delegation link (JSON)"},
        {"parent_ref_hash_hex", "parent-reference hash, 32 bytes as hex"},
        {"pubkey_hex", "public key, hex"},
        {"redirect_uri", "the client's redirect URI"},
        {"ret", "the raw bytes the registry call returned, hex"},
        {"root_id", "the root principal's identity (the identity deed's sub)"},
        {"root_seed_hex", "the 32-byte root seed, hex"},
        {"secret_key_hex", "secp256k1 secret key, hex"},
        {"signature1_hex", "the wallet's first signature over the root binding, hex"},
        {"signature2_hex", "the wallet's second signature over the same text, hex"},
        {"signature_hex", "signature, hex"},
        {"signer_addr_hex", "the smart-contract wallet's address, hex"},
        {"signer_hex", "the signer's 20-byte address, hex"},
        {"state", "OAuth state"},
        {"tenant_id", "tenant id"},
        {"to", "the delegate"},
        {"verifier", "PKCE verifier"},
        {"wallet_sig_hex", "the wallet's signature, hex"},
    };
    return m;
}

// The table of operations, in alphabetical order of their names.
const std::vector<Operation>& operations() {
    static const std::vector<Operation> ops = {
        {"build_authorize_url",
         {text("issuer"), text("client_id"), text("redirect_uri"), text("state"), text("nonce"), text("code_challenge")},
         Out::Text, QOP(build_authorize_url), "The issuer's /authorize URL for an authorization-code request with PKCE."},
        {"build_client_assertion", {text("domain"), u64("tenant_id"), text("nonce"), u64("issued_at")}, Out::Text,
         QOP(build_client_assertion), "The client-credentials assertion text a client signs."},
        {"decode_bool_return", {{"ret", Kind::Bytes, L, {}}}, Out::Bool, QOP(decode_bool_return),
         "Decodes the 32-byte answer of the registry's isOriginVoucher call."},
        {"delegate",
         {u64("tenant_id"), text("iss"), text("to"), text("grants_json", L), u64("exp"), text("epoch_label_hex"),
          u64("epoch"), text("parent_ref_hash_hex"), {"pubkey_hex", Kind::OptText, S, {}},
          text("signature_hex", L)},
         Out::Text, QOP(delegate), "Assembles a signed delegation link from the delegator's signature; prints its JSON."},
        {"delegation_binding",
         {u64("tenant_id"), text("iss"), text("to"), text("grants_json", L), u64("exp"), text("epoch_label_hex"),
          u64("epoch"), text("parent_ref_hash_hex")},
         Out::Text, QOP(delegation_binding), "The bytes a delegator signs for one delegation link, as hex."},
        {"derive_app_key", {text("root_seed_hex"), u64("tenant_id"), text("origin")}, Out::AppKey, QOP(derive_app_key),
         "Derives the per-(tenant, origin) app key from a root seed."},
        {"derive_root_seed", {text("origin"), text("signature1_hex", L), text("signature2_hex", L)}, Out::Text,
         QOP(derive_root_seed), "The root seed: SHA-256 of the wallet's (twice identical) signature over the root binding."},
        {"generate_pkce", {}, Out::Pkce, QOP(generate_pkce), "A fresh PKCE verifier and its S256 challenge."},
        {"issuer_key_id", {text("jwk_json", L)}, Out::Text, QOP(issuer_key_id),
         "The JWK thumbprint of an EC key: the issuer key id."},
        {"is_origin_voucher_calldata", {u64("tenant_id"), text("signer_hex"), u64("epoch")}, Out::Bytes,
         QOP(is_origin_voucher_calldata), "Call data of the registry's isOriginVoucher(uint256,address,uint64), as 0x-hex."},
        {"mint_admin_deed", {text("wallet_sig_hex", L), u64("tenant_id"), text("aud"), text("challenge"), u64("exp")},
         Out::Deed, QOP(mint_admin_deed), "An admin-sig deed for the wallet account that signed the admin message."},
        {"mint_admin_deed_smartwallet",
         {text("signer_addr_hex"), text("wallet_sig_hex", L), u64("tenant_id"), text("aud"), text("challenge"),
          u64("exp")},
         Out::Deed, QOP(mint_admin_deed_smartwallet), "An admin-sig deed for a smart-contract wallet."},
        {"mint_capability_deed",
         {{"base_deed", Kind::DeedJson, L, {}}, text("grants_json", L), text("delegation_chain_json", L)}, Out::Deed,
         QOP(mint_capability_deed), "Attaches grants and a delegation chain to a minted deed."},
        {"mint_user_1271_deed",
         {text("signer_addr_hex"), text("wallet_sig_hex", L), u64("tenant_id"), text("aud"), text("origin"),
          text("challenge"), u64("exp")},
         Out::Deed, QOP(mint_user_1271_deed), "A user-1271 deed for a smart-contract wallet that signed the user binding."},
        {"mint_user_deed",
         {text("secret_key_hex"), u64("tenant_id"), text("aud"), text("origin"), text("challenge"), u64("exp")},
         Out::Deed, QOP(mint_user_deed), "A user-sig deed signed by the app key."},
        {"mint_user_passkey_deed",
         {text("credential_pubkey_hex"), text("authenticator_data_hex", L), text("client_data_json_b64url", L),
          text("assertion_sig_hex", L), u64("tenant_id"), text("aud"), text("origin"), text("challenge"), u64("exp")},
         Out::Deed, QOP(mint_user_passkey_deed), "A user-passkey deed carrying a WebAuthn assertion."},
        {"normalize_origin", {text("origin")}, Out::Text, QOP(normalize_origin),
         "The canonical scheme://host[:port] text of a web origin."},
        {"origin_vouch_binding",
         {u64("tenant_id"), text("aud"), text("origin"), u64("epoch"), u64("exp"),
          {"allow_insecure_origin", Kind::Flag, S, {}}},
         Out::Text, QOP(origin_vouch_binding), "The message a tenant administrator signs to vouch for an origin."},
        {"origin_vouch_max_ttl_secs", {}, Out::U64, QOP(origin_vouch_max_ttl_secs),
         "The longest lifetime a holder accepts for an origin vouch, in seconds."},
        {"origin_vouch_signer",
         {u64("tenant_id"), text("aud"), text("origin"), u64("epoch"), u64("exp"), text("signature_hex", L)}, Out::Text,
         QOP(origin_vouch_signer), "Recovers the address that signed an origin vouch."},
        {"parent_ref_hash_link", {text("parent_link_json", L)}, Out::Text, QOP(parent_ref_hash_link),
         "Parent-reference hash of a later delegation link (from the previous link)."},
        {"parent_ref_hash_root", {text("root_id")}, Out::Text, QOP(parent_ref_hash_root),
         "Parent-reference hash of the first delegation link (from the root principal)."},
        {"passkey_sub", {u64("tenant_id"), text("origin"), text("credential_pubkey_hex")}, Out::Text, QOP(passkey_sub),
         "The passkey pseudonym for a tenant, a canonical origin and a credential key."},
        {"pkce_challenge", {text("verifier")}, Out::Text, QOP(pkce_challenge), "The S256 challenge of a PKCE verifier."},
        {"sign_client_assertion",
         {text("secret_key_hex"), text("domain"), u64("tenant_id"), text("nonce"), u64("issued_at")}, Out::Text,
         QOP(sign_client_assertion), "Signs the client-credentials assertion (EIP-191)."},
        {"user_binding", {u64("tenant_id"), text("aud"), text("origin"), text("challenge"), u64("exp")}, Out::Text,
         QOP(user_binding), "The bytes an app key signs for a user-sig deed, as hex."},
        {"user_root_binding", {text("origin")}, Out::Text, QOP(user_root_binding),
         "The message a user's wallet signs to derive the root seed for an origin."},
        {"user_sub", {text("pubkey_hex")}, Out::Text, QOP(user_sub), "The user pseudonym of an app key's public key."},
        {"verify_token_at",
         {text("jwt", L), text("jwks_json", L), text("expected_iss"), text("expected_aud"), u64("now_unix")},
         Out::Claims, QOP(verify_token_at), "Verifies an ES256 token against a JWKS at the given time."},
    };
    return ops;
}

const Operation* find_operation(std::string_view command) {
    for (const Operation& op : operations())
        if (kebab(op.name) == command) return &op;
    return nullptr;
}

std::string read_stream(std::istream& in) {
    std::string s{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return s;
}

// Lowers the parsed options into the operation's arguments, in order.
void lower(const Operation& op, const Values& values, Args& args) {
    for (const OptSpec& spec : op.options) {
        const std::string option = "--" + kebab(spec.name);
        auto it = values.find(spec.name);
        switch (spec.kind) {
            case Kind::Text: args.add_bytes(required(values, spec.name)); break;
            case Kind::U64: args.add_u64(parse_u64(option, required(values, spec.name))); break;
            case Kind::Flag: args.add_flag(it != values.end() && it->second == "true"); break;
            case Kind::OptText: {
                std::string nested;
                put_opt_str(nested, it == values.end() ? std::nullopt : std::optional<std::string>(it->second));
                args.add_bytes(nested);
                break;
            }
            case Kind::Bytes: {
                const auto bytes = from_hex(required(values, spec.name));
                if (!bytes) throw UsageError(option + ": expected hex digits (an optional 0x, an even count)");
                std::string nested;
                put_i32(nested, static_cast<int32_t>(bytes->size()));
                nested += *bytes;
                args.add_bytes(nested);
                break;
            }
            case Kind::DeedJson: {
                Json deed;
                try {
                    deed = Json::parse(required(values, spec.name));
                } catch (const Json::parse_error& e) {
                    throw UsageError(option + ": not JSON: " + e.what());
                }
                try {
                    args.add_bytes(write_deed(deed));
                } catch (const std::invalid_argument& e) {
                    throw UsageError(option + ": " + e.what());
                }
                break;
            }
        }
    }
}

void print_result(Out out, const Outcome& o) {
    switch (out) {
        case Out::Text: std::cout << o.bytes << '\n'; break;
        case Out::U64: std::cout << o.integer << '\n'; break;
        case Out::Bool: std::cout << (o.integer != 0 ? "true" : "false") << '\n'; break;
        case Out::Bytes: {
            Cursor c(o.bytes);
            const int32_t n = c.i32();
            if (n < 0) throw HostFault("negative length in result buffer");
            std::string bytes;
            for (int32_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(c.u8()));
            c.finish();
            std::cout << "0x" << to_hex(bytes) << '\n';
            break;
        }
        case Out::AppKey: std::cout << read_app_key(o.bytes).dump(2) << '\n'; break;
        case Out::Claims: std::cout << read_claims(o.bytes).dump(2, ' ', false, Json::error_handler_t::replace) << '\n'; break;
        case Out::Deed: std::cout << read_deed(o.bytes).dump(2, ' ', false, Json::error_handler_t::replace) << '\n'; break;
        case Out::Pkce: std::cout << read_pkce(o.bytes).dump(2) << '\n'; break;
    }
}

void print_usage(std::ostream& out) {
    out << "usage: quorent <command> [--option value ...]\n"
           "       quorent <command> --help\n\n"
           "Calls the operations of libquorent_sdk_uniffi. Records are printed as JSON,\n"
           "texts as they are. Exit status: 0 success, 1 the operation's error (message\n"
           "and variant on standard error), 2 usage error, 3 internal failure.\n\n"
           "commands:\n";
    out << "  " << std::left;
    out.width(30);
    out << "demo" << "the typical sign-in end to end, with a built-in demo wallet\n";
    for (const Operation& op : operations()) {
        out << "  ";
        out.width(30);
        out << kebab(op.name) << op.help << '\n';
    }
}

int run(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        print_usage(std::cerr);
        return kUsage;
    }
    const std::string& command = argv[0];
    const std::vector<std::string> rest(argv.begin() + 1, argv.end());
    if (command == "--help" || command == "-h" || command == "help") {
        print_usage(std::cout);
        return kOk;
    }
    if (command == "demo") return run_demo(rest);
    const Operation* op = find_operation(command);
    if (op == nullptr) throw UsageError("unknown command '" + command + "'");
    const auto values = parse_options(op->options, rest);
    if (!values) {
        std::cout << "usage: quorent " << command << (op->options.empty() ? "" : " [options]") << "\n\n"
                  << op->help << "\n"
                  << "Calls " << op->name << " of the library.\n";
        if (!op->options.empty()) print_option_help(op->options);
        return kOk;
    }
    Args args;
    lower(*op, *values, args);
    const Outcome o = check(op->call(args));
    print_result(op->out, o);
    return kOk;
}

}  // namespace

// ---- shared by the commands ------------------------------------------------------

std::string kebab(std::string_view snake) {
    std::string s(snake);
    for (char& c : s)
        if (c == '_') c = '-';
    return s;
}

std::optional<Values> parse_options(const std::vector<OptSpec>& specs, const std::vector<std::string>& argv) {
    Values values;
    bool stdin_used = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& word = argv[i];
        if (word == "--help" || word == "-h") return std::nullopt;
        if (word.rfind("--", 0) != 0 || word.size() == 2)
            throw UsageError("unexpected argument '" + word + "' (options are --name value)");
        const auto eq = word.find('=');
        const std::string name = word.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const OptSpec* spec = nullptr;
        for (const OptSpec& s : specs)
            if (kebab(s.name) == name) spec = &s;
        if (spec == nullptr) throw UsageError("unknown option --" + name);
        const std::string key(spec->name);
        if (values.count(key) != 0) throw UsageError("option --" + name + " given twice");
        std::string value;
        if (spec->kind == Kind::Flag) {
            value = eq == std::string::npos ? "true" : word.substr(eq + 1);
            if (value != "true" && value != "false")
                throw UsageError("option --" + name + " takes no value, or =true or =false");
            values[key] = value;
            continue;
        }
        if (eq != std::string::npos) {
            value = word.substr(eq + 1);
        } else {
            if (i + 1 >= argv.size()) throw UsageError("option --" + name + " needs a value");
            value = argv[++i];
            if (value.rfind("--", 0) == 0)
                throw UsageError("option --" + name + " needs a value (write --" + name + "=" + value +
                                 " for a value that starts with --)");
        }
        if (spec->long_value && !value.empty() && value[0] == '@') {
            if (value.rfind("@@", 0) == 0) {
                value.erase(0, 1);
            } else {
                std::string content;
                if (value == "@-") {
                    if (stdin_used) throw UsageError("only one option can be read from standard input");
                    stdin_used = true;
                    content = read_stream(std::cin);
                    if (std::cin.bad()) throw UsageError("--" + name + ": cannot read standard input");
                } else {
                    std::ifstream f(value.substr(1), std::ios::binary);
                    if (!f) throw UsageError("--" + name + ": cannot read file '" + value.substr(1) + "'");
                    content = read_stream(f);
                    if (f.bad()) throw UsageError("--" + name + ": cannot read file '" + value.substr(1) + "'");
                }
                // One final line break, as editors and echo leave it, is not part of the value.
                if (!content.empty() && content.back() == '\n') content.pop_back();
                if (!content.empty() && content.back() == '\r') content.pop_back();
                value = std::move(content);
            }
        }
        values[key] = std::move(value);
    }
    return values;
}

uint64_t parse_u64(std::string_view option, std::string_view text) {
    uint64_t v = 0;
    bool ok = !text.empty() && text.size() <= 20;
    for (char c : text) {
        if (!ok || c < '0' || c > '9') {
            ok = false;
            break;
        }
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10) {
            ok = false;
            break;
        }
        v = v * 10 + d;
    }
    if (!ok)
        throw UsageError(std::string(option) + ": expected an unsigned 64-bit decimal integer, got '" +
                         std::string(text) + "'");
    return v;
}

const std::string& required(const Values& values, std::string_view name) {
    auto it = values.find(name);
    if (it == values.end()) throw UsageError("missing option --" + kebab(name));
    return it->second;
}

Outcome check(Outcome o) {
    if (o.code == 0) return o;
    if (o.code == 1) throw CallFailed(kOperationError, "SdkError::" + std::string(variant_name(o.variant)) + ": " + o.message);
    throw CallFailed(kInternal, "internal failure (status code " + std::to_string(o.code) + "): " + o.message);
}

void print_option_help(const std::vector<OptSpec>& specs) {
    std::cout << "\noptions:\n";
    bool any_long = false;
    for (const OptSpec& s : specs) {
        std::string left = "--" + kebab(s.name);
        std::string note;
        switch (s.kind) {
            case Kind::Text: left += " TEXT"; break;
            case Kind::U64: left += " U64"; break;
            case Kind::Flag: note = " (optional flag)"; break;
            case Kind::OptText: left += " TEXT"; note = " (optional; absent when not given)"; break;
            case Kind::Bytes: left += " HEX"; break;
            case Kind::DeedJson: left += " JSON"; break;
        }
        if (s.long_value) {
            note += " [@FILE, @-]";
            any_long = true;
        }
        std::string_view help = s.help;
        if (help.empty()) {
            auto it = option_help().find(s.name);
            if (it != option_help().end()) help = it->second;
        }
        std::cout << "  " << std::left;
        std::cout.width(34);
        std::cout << left << help << note << '\n';
    }
    if (any_long)
        std::cout << "\nOptions marked [@FILE, @-] also take @PATH to read the value from a file or @- to read\n"
                     "it from standard input (one final line break is dropped); @@ starts a literal @.\n";
}

Outcome call_operation(std::string_view name, Args& args) {
    for (const Operation& op : operations())
        if (op.name == name) return op.call(args);
    throw HostFault("no operation named " + std::string(name));
}

}  // namespace quorent_cli

int main(int argc, char** argv) {
    using namespace quorent_cli;
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 1 && std::string_view(argv[1]) == "wallet") return wallet::wallet_main(argc - 1, argv + 1);
    int status = kInternal;
    try {
        status = run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "quorent: " << e.what() << '\n';
        const std::string command = argc > 1 ? argv[1] : "";
        const bool known = command == "demo" || find_operation(command) != nullptr;
        std::cerr << "(see quorent " << (known ? command + " " : "") << "--help)\n";
        status = kUsage;
    } catch (const CallFailed& e) {
        std::cout.flush();
        std::cerr << e.what() << '\n';
        status = e.exit_status;
    } catch (const HostFault& e) {
        std::cerr << "quorent: internal failure: " << e.what() << '\n';
        status = kInternal;
    } catch (const std::exception& e) {
        std::cerr << "quorent: internal failure: " << e.what() << '\n';
        status = kInternal;
    } catch (...) {
        std::cerr << "quorent: internal failure\n";
        status = kInternal;
    }
    std::cout.flush();
    if (!std::cout && status == kOk) {
        std::cerr << "quorent: cannot write the output\n";
        status = kInternal;
    }
    return status;
}
