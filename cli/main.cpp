// quorent: one subcommand per exported operation of libquorent_sdk_uniffi,
// plus the tool's own commands (`demo`). Commands, options, help, the man
// page and the shell completion all come from the interface table; the
// library is reached only through its exported C functions.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>

#include "cli.hpp"
#include "platform.hpp"
#include "quorent_components.h"
#include "wallet.hpp"

namespace quorent_cli {

namespace {

namespace ops = quorent_host::ops;

// Set when --json is given anywhere: results and errors are printed as JSON.
bool g_json = false;

constexpr Kind kind_of(iface::Type t) {
    switch (t) {
        case iface::Type::String: return Kind::Text;
        case iface::Type::U64: return Kind::U64;
        case iface::Type::Bool: return Kind::Flag;
        case iface::Type::OptionalString: return Kind::OptText;
        case iface::Type::ByteSeq: return Kind::Bytes;
        case iface::Type::Deed: return Kind::DeedJson;
        default: throw "an argument type the tool cannot take";
    }
}

constexpr bool takes_every_argument_type() {
    for (const iface::Func& f : iface::kFunctions)
        for (std::size_t i = 0; i < f.arg_count; ++i) (void)kind_of(f.args[i].type);
    return true;
}
static_assert(takes_every_argument_type());

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// Hex and integer values read from a file or standard input lose the white
// space around them; other texts keep their bytes (less one final line break).
bool trims_space(const OptSpec& s) { return s.kind == Kind::U64 || s.kind == Kind::Bytes || ends_with(s.name, "_hex"); }

// The first clause of a doc text: the line a command list shows.
std::string summary(std::string_view doc) {
    std::size_t end = doc.size();
    for (std::string_view stop : {". ", ": ", "; "}) end = std::min(end, doc.find(stop));
    std::string s(doc.substr(0, end));
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// ---- reading values -----------------------------------------------------------------

// The whole content of a file, or of standard input for "-". Growing the
// buffer wipes the bytes it leaves behind: the content may be a secret.
std::string read_source(const std::string& option, const std::string& path) {
    const bool from_stdin = path == "-";
    const std::string where = from_stdin ? "standard input" : "file '" + path + "'";
    auto refuse = [&](const std::string& why) {
        return UsageError(option + ": cannot read " + where + " (" + why + ")");
    };
    const int fd = from_stdin ? STDIN_FILENO : platform::open_for_reading(path);
    if (fd < 0) throw refuse(errno == EISDIR ? "it is a directory" : std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        if (!from_stdin) ::close(fd);
        throw refuse("it is a directory");
    }
    std::string out;
    out.reserve(S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096);
    char chunk[4096];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        const auto count = static_cast<std::size_t>(n);
        if (out.size() + count > out.capacity()) {
            std::string bigger;
            bigger.reserve(2 * (out.size() + count));
            bigger.assign(out);
            secure_wipe(out);
            out.swap(bigger);
        }
        out.append(chunk, count);
    }
    secure_wipe(chunk, sizeof chunk);
    if (!from_stdin) ::close(fd);
    if (error != 0) {
        secure_wipe(out);
        throw refuse(std::strerror(error));
    }
    return out;
}

void trim(std::string& s, bool all_space) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    if (all_space) {
        std::size_t b = 0;
        while (b < s.size() && space(s[b])) ++b;
        std::size_t e = s.size();
        while (e > b && space(s[e - 1])) --e;
        std::memmove(s.data(), s.data() + b, e - b);
        secure_wipe(s.data() + (e - b), s.size() - (e - b));
        s.resize(e - b);
        return;
    }
    // One final line break, as editors and echo leave it, is not part of the value.
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (!s.empty() && s.back() == '\r') s.pop_back();
}

// ---- running an operation --------------------------------------------------------------

// Lowers the parsed options into the operation's arguments, in order.
void lower(const std::vector<OptSpec>& specs, const Values& values, Args& args) {
    for (const OptSpec& spec : specs) {
        const std::string option = "--" + kebab(spec.name);
        auto it = values.find(spec.name);
        switch (spec.kind) {
            case Kind::Text: args.add_bytes(required(values, spec.name)); break;
            case Kind::U64:
                if (it == values.end() && spec.name == kNowArgument)
                    args.add_u64(static_cast<uint64_t>(std::time(nullptr)));
                else args.add_u64(parse_u64(option, required(values, spec.name)));
                break;
            case Kind::Flag: args.add_flag(it != values.end() && it->second == "true"); break;
            case Kind::OptText: {
                std::string nested;
                if (it == values.end()) {
                    put_opt_str(nested, std::nullopt);
                } else {
                    nested.push_back('\1');
                    put_str(nested, it->second);
                }
                args.add_bytes(nested);
                secure_wipe(nested);
                break;
            }
            case Kind::Bytes: {
                auto bytes = from_hex(required(values, spec.name));
                if (!bytes) throw UsageError(option + ": expected hex digits (an optional 0x, an even count)");
                std::string nested;
                put_str(nested, *bytes);
                secure_wipe(*bytes);
                args.add_bytes(nested);
                secure_wipe(nested);
                break;
            }
            case Kind::DeedJson: {
                Json deed;
                try {
                    deed = Json::parse(required(values, spec.name));
                } catch (const Json::ParseError& e) {
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

void wipe_strings(Json& j) {
    if (j.is_string()) secure_wipe(j.string());
    for (Json& v : j.elements()) wipe_strings(v);
    for (auto& [key, v] : j.members()) wipe_strings(v);
}

// Prints one result; in JSON mode as one JSON value (bytes as a hex string).
void print_result(iface::Type type, const Outcome& o) {
    std::string text;
    switch (type) {
        case iface::Type::String:
            if (g_json) {
                Json j(o.bytes);
                text = j.dump();
                wipe_strings(j);
            } else {
                text = o.bytes;
            }
            break;
        case iface::Type::U64: text = std::to_string(o.integer); break;
        case iface::Type::Bool: text = o.integer != 0 ? "true" : "false"; break;
        case iface::Type::ByteSeq: {
            Cursor c(o.bytes);
            std::string bytes = c.str();
            c.finish();
            text = "0x" + to_hex(bytes);
            if (g_json) text = "\"" + text + "\"";
            break;
        }
        default: {
            const std::string_view name = type == iface::Type::AppKey   ? "AppKey"
                                          : type == iface::Type::Claims ? "Claims"
                                          : type == iface::Type::Deed   ? "Deed"
                                                                        : "Pkce";
            Json j = read_record(iface::record(name), o.bytes);
            text = j.dump(2);
            wipe_strings(j);
            break;
        }
    }
    std::cout << text << '\n';
    secure_wipe(text);
}

void print_usage(std::ostream& out) {
    out << "usage: quorent <command> [--option value ...]\n"
           "       quorent --json <command> [--option value ...]\n"
           "       quorent <command> --help\n"
           "       quorent --version\n\n"
           "Calls the operations of libquorent_sdk_uniffi. Records are printed as JSON,\n"
           "texts as they are; with --json every result is one JSON value and every\n"
           "error a JSON object {\"variant\", \"message\"} on standard error. Exit status:\n"
           "0 success, 1 the operation's error (message and variant on standard error),\n"
           "2 usage error, 3 internal failure. Any option value may be given as @FILE or\n"
           "@- (standard input): give secrets that way, e.g. --secret-key-hex @key.hex.\n\n"
           "commands:\n";
    out << std::left;
    for (const HostCommand& c : host_commands()) {
        out << "  ";
        out.width(30);
        out << c.name << c.summary << '\n';
    }
    for (const ops::Entry& op : ops::kOperations) {
        out << "  ";
        out.width(30);
        out << kebab(op.func().name) << summary(op.func().doc) << '\n';
    }
}

void print_version() {
    std::cout << "quorent " QUORENT_SDK_VERSION_STRING " (libquorent_sdk_uniffi " QUORENT_SDK_VERSION_STRING
                 ", contract version "
              << ffi_quorent_sdk_uniffi_uniffi_contract_version() << ")\n"
              << "built with:\n" QUORENT_COMPONENTS;
}

// ---- the command line --------------------------------------------------------------------

// Command-line words, wiped when they go: option values may be secrets.
struct Words : std::vector<std::string> {
    using std::vector<std::string>::vector;
    Words(const Words&) = default;
    ~Words() {
        for (std::string& w : *this) secure_wipe(w);
    }
};

int run(Words argv) {
    while (!argv.empty() && argv[0] == "--json") argv.erase(argv.begin());
    if (argv.empty()) {
        if (g_json) throw UsageError("missing command");
        print_usage(std::cerr);
        return kUsage;
    }
    const std::string& command = argv[0];
    Words rest(argv.begin() + 1, argv.end());
    if (command == "--help" || command == "-h" || command == "help") {
        print_usage(std::cout);
        return kOk;
    }
    if (command == "--version") {
        print_version();
        return kOk;
    }
    if (command == "__man") return print_man();
    if (command == "__bash-completion") return print_bash_completion();
    if (const HostCommand* host = find_host_command(command)) {
        if (g_json && std::find(rest.begin(), rest.end(), "--json") == rest.end()) rest.push_back("--json");
        return host->run(rest);
    }
    const ops::Entry* op = find_operation(command);
    if (op == nullptr) throw UsageError("unknown command '" + command + "'");
    const iface::Func& f = op->func();
    const std::vector<OptSpec> specs = options_of(f);
    const auto values = parse_options(specs, rest);
    if (!values) {
        std::cout << "usage: quorent " << command << (specs.empty() ? "" : " [options]") << "\n\n"
                  << f.doc << "\n"
                  << "Calls " << f.name << " of the library.\n";
        if (!specs.empty()) print_option_help(specs);
        return kOk;
    }
    Args args;
    lower(specs, *values, args);
    const Outcome o = check(call(*op, args));
    print_result(f.result, o);
    return kOk;
}

void print_error_json(std::string_view variant, std::string_view message) {
    Json j = Json::object();
    j["variant"] = variant;
    j["message"] = message;
    std::cerr << j.dump() << '\n';
}

}  // namespace

// ---- shared by the commands ------------------------------------------------------

// `quorent wallet ...` parses its own subcommands and options (wallet.cpp).
int run_wallet(const std::vector<std::string>& words) {
    std::vector<std::string> args{"wallet"};
    for (const std::string& w : words)
        if (w != "--json") args.push_back(w);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int status = wallet::wallet_main(static_cast<int>(args.size()), argv.data());
    for (std::string& a : args) secure_wipe(a);
    return status;
}

const std::vector<OptSpec>& no_options() {
    static const std::vector<OptSpec> none;
    return none;
}

const std::vector<HostCommand>& host_commands() {
    static const std::vector<HostCommand> commands = {
        {"demo", "the typical sign-in end to end, with a built-in demo wallet", &run_demo, &demo_options},
        {"wallet", "a test wallet: new key, address, EIP-191 signature (see quorent wallet --help)", &run_wallet,
         &no_options},
    };
    return commands;
}

const HostCommand* find_host_command(std::string_view name) {
    for (const HostCommand& c : host_commands())
        if (c.name == name) return &c;
    return nullptr;
}

const quorent_host::ops::Entry* find_operation(std::string_view command) {
    for (const quorent_host::ops::Entry& op : quorent_host::ops::kOperations)
        if (kebab(op.func().name) == command) return &op;
    return nullptr;
}

std::vector<OptSpec> options_of(const iface::Func& f) {
    std::vector<OptSpec> specs;
    for (std::size_t i = 0; i < f.arg_count; ++i)
        specs.push_back({f.args[i].name, kind_of(f.args[i].type), f.args[i].help, f.args[i].name == kNowArgument});
    return specs;
}

bool is_secret(std::string_view name) {
    return name.find("secret") != std::string_view::npos || name.find("seed") != std::string_view::npos;
}

std::string_view metavar(const OptSpec& s) {
    switch (s.kind) {
        case Kind::U64: return "U64";
        case Kind::Bytes: return "HEX";
        case Kind::DeedJson: return "JSON";
        case Kind::Flag: return "";
        default: break;
    }
    if (ends_with(s.name, "_hex")) return "HEX";
    if (ends_with(s.name, "_json")) return "JSON";
    return "TEXT";
}

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
        if (spec == nullptr && word == "--json") continue;  // the output form, taken by main
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
        if (!value.empty() && value[0] == '@') {
            if (value.rfind("@@", 0) == 0) {
                value.erase(0, 1);
            } else {
                if (value == "@-") {
                    if (stdin_used) throw UsageError("only one option can be read from standard input");
                    stdin_used = true;
                }
                std::string content = read_source("--" + name, value.substr(1));
                trim(content, trims_space(*spec));
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
    if (o.code == 1) {
        const std::string variant(variant_name(o.variant));
        throw CallFailed(kOperationError, variant, o.message, "SdkError::" + variant + ": " + o.message);
    }
    throw CallFailed(kInternal, "Internal", o.message,
                     "internal failure (status code " + std::to_string(o.code) + "): " + o.message);
}

void print_option_help(const std::vector<OptSpec>& specs) {
    std::cout << "\noptions:\n";
    for (const OptSpec& s : specs) {
        std::string left = "--" + kebab(s.name);
        if (!metavar(s).empty()) left += " " + std::string(metavar(s));
        std::string note;
        if (s.kind == Kind::Flag) note = " (optional flag)";
        if (s.kind == Kind::OptText) note = " (optional; absent when not given)";
        if (s.name == kNowArgument) note = " (default: the current time)";
        if (is_secret(s.name)) note += " (a secret: give it as @FILE or @-)";
        std::cout << "  " << std::left;
        std::cout.width(34);
        std::cout << left << s.help << note << '\n';
    }
    std::cout << "\nAny value may be given as @FILE to read it from a file, or @- to read it from\n"
                 "standard input: give secrets this way, never on the command line (for example\n"
                 "--secret-key-hex @key.hex, --root-seed-hex @-). White space around a hex or\n"
                 "integer value read so is ignored; of any other value one final line break is\n"
                 "dropped. @@ starts a literal @.\n";
}

}  // namespace quorent_cli

int main(int argc, char** argv) {
    using namespace quorent_cli;
    platform::init_standard_streams();
    Words words;
    int status = kInternal;
    try {
        platform::arguments(argc, argv, words);
        for (const std::string& w : words) g_json = g_json || w == "--json";
        status = run(words);
    } catch (const UsageError& e) {
        if (g_json) {
            print_error_json("Usage", e.what());
        } else {
            std::cerr << "quorent: " << e.what() << '\n';
            std::size_t first = 0;
            while (first < words.size() && words[first] == "--json") ++first;
            const std::string command = first < words.size() ? words[first] : "";
            const bool known = find_host_command(command) != nullptr || find_operation(command) != nullptr;
            std::cerr << "(see quorent " << (known ? command + " " : "") << "--help)\n";
        }
        status = kUsage;
    } catch (const CallFailed& e) {
        std::cout.flush();
        if (g_json) print_error_json(e.variant, e.message);
        else std::cerr << e.what() << '\n';
        status = e.exit_status;
    } catch (const std::exception& e) {
        if (g_json) print_error_json("Internal", e.what());
        else std::cerr << "quorent: internal failure: " << e.what() << '\n';
        status = kInternal;
    } catch (...) {
        if (g_json) print_error_json("Internal", "unknown failure");
        else std::cerr << "quorent: internal failure\n";
        status = kInternal;
    }
    std::cout.flush();
    if (!std::cout && status == kOk) {
        if (g_json) print_error_json("Internal", "cannot write the output");
        else std::cerr << "quorent: cannot write the output\n";
        status = kInternal;
    }
    return status;
}
