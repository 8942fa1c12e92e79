#include "wallet.hpp"

#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <vector>

// The library's own Keccak-256 (the implementation configured, linked as
// quorent_keccak) and reader of the operating system's random source,
// compiled into the tool as well (the library exports only its interface).
#include "../core/src/keccak/keccak.hpp"
#include "../core/src/os_random.hpp"
#include "platform.hpp"
#include "sdk.hpp"

#ifdef QUORENT_CT_CHECK
#include <valgrind/memcheck.h>
#endif

namespace quorent_cli::wallet {

namespace {

const secp256k1_context* context() {
    static secp256k1_context* const ctx = [] {
        secp256k1_context* c = secp256k1_context_create(SECP256K1_CONTEXT_NONE);
        // Blinding against side channels; signatures stay deterministic.
        std::array<unsigned char, 32> seed{};
        if (c != nullptr && quorent::os_random(seed.data(), seed.size()) && !secp256k1_context_randomize(c, seed.data())) {
            secp256k1_context_destroy(c);  // never happens with a valid context; refuse to sign rather than guess
            c = nullptr;
        }
        secure_wipe(seed.data(), seed.size());
        return c;
    }();
    if (ctx == nullptr) throw std::runtime_error("libsecp256k1 context unavailable");
    return ctx;
}

std::array<unsigned char, 32> keccak256(std::string_view data) {
    std::array<unsigned char, 32> out{};
    quorent::keccak::hash256({{data.data(), data.size()}}, out.data());
    return out;
}

// A secp256k1 secret key, wiped when it goes.
struct SecretKey {
    std::array<unsigned char, 32> bytes{};
    SecretKey() = default;
    SecretKey(const SecretKey&) = delete;
    SecretKey& operator=(const SecretKey&) = delete;
    ~SecretKey() { secure_wipe(bytes.data(), bytes.size()); }
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// ---- the key in constant time -----------------------------------------------------
// The key's text is trimmed, stripped of its prefix and decoded with
// arithmetic alone: no branch and no table lookup on a byte of it. Revealed
// on purpose: how much white space and prefix there is (digits never look
// like either) and the one bit "all 64 are digits". The constant-time check
// (tests/consttime) compiles this file with QUORENT_CT_CHECK, where reveal()
// and the libsecp256k1 calls below tell memcheck so.

template <class T>
T reveal(T value) {
#ifdef QUORENT_CT_CHECK
    VALGRIND_MAKE_MEM_DEFINED(&value, sizeof value);
#endif
    return value;
}

// All ones when c == want, else zero.
unsigned equal_mask(unsigned char c, unsigned char want) {
    return 0u - (((static_cast<unsigned>(c ^ want)) - 1u) >> 31);
}
unsigned space_mask(unsigned char c) {
    return equal_mask(c, ' ') | equal_mask(c, '\t') | equal_mask(c, '\n') | equal_mask(c, '\r');
}

// All ones when 0 <= x < limit (x in -256 .. 511).
unsigned below(int x, int limit) { return static_cast<unsigned>(((x - limit) & ~x) >> 16); }

// Runs one libsecp256k1 call on the key. libsecp256k1 proves its key check,
// public-key computation and signing constant-time itself (its own test runs
// them under memcheck with the key undefined), so the key is declared public
// for that call alone; what the call returns is public.
template <class Call>
int with_key(const SecretKey& key, Call call) {
#ifdef QUORENT_CT_CHECK
    std::array<unsigned char, 32> marks{};
    const bool checked = VALGRIND_GET_VBITS(key.bytes.data(), marks.data(), marks.size()) == 1;
    VALGRIND_MAKE_MEM_DEFINED(key.bytes.data(), key.bytes.size());
    const int ok = call(key.bytes.data());
    if (checked) VALGRIND_SET_VBITS(key.bytes.data(), marks.data(), marks.size());
    return ok;
#else
    return call(key.bytes.data());
#endif
}

// 64 hex digits (an optional 0x, surrounding white space ignored) of a valid
// secret key. Decoded in place: no copy of the key text is made.
void parse_key(std::string_view text, SecretKey& key) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t lead = 0, trail = 0;
    unsigned run_front = ~0u, run_back = ~0u;
    for (std::size_t i = 0; i < n; ++i) {
        run_front &= space_mask(s[i]);
        run_back &= space_mask(s[n - 1 - i]);
        lead += run_front & 1u;
        trail += run_back & 1u;
    }
    lead = reveal(lead);
    trail = reveal(trail);
    text = lead == n ? std::string_view() : text.substr(lead, n - lead - trail);
    s = reinterpret_cast<const unsigned char*>(text.data());
    if (text.size() >= 2) {
        const unsigned prefix = equal_mask(s[0], '0') & (equal_mask(s[1], 'x') | equal_mask(s[1], 'X'));
        if (reveal(prefix & 1u)) text.remove_prefix(2);
    }
    if (text.size() != 64) throw std::invalid_argument("a wallet key is 32 bytes of hex");
    s = reinterpret_cast<const unsigned char*>(text.data());
    unsigned bad = 0;
    auto nibble = [&bad](unsigned char c) {
        const int digit = c - '0';
        const int letter = (c | 0x20) - 'a';
        const unsigned is_digit = below(digit, 10), is_letter = below(letter, 6);
        bad |= ~(is_digit | is_letter);
        return (static_cast<unsigned>(digit) & is_digit) | (static_cast<unsigned>(letter + 10) & is_letter);
    };
    for (std::size_t i = 0; i < 32; ++i)
        key.bytes[i] = static_cast<unsigned char>(nibble(s[2 * i]) << 4 | nibble(s[2 * i + 1]));
    if (reveal(bad & 1u)) throw std::invalid_argument("a wallet key is 32 bytes of hex");
    if (!with_key(key, [](const unsigned char* k) { return secp256k1_ec_seckey_verify(context(), k); }))
        throw std::invalid_argument("invalid wallet key");
}

std::string sign_with(const SecretKey& key, std::string_view message) {
    const std::string prefixed = std::string(
                                     "\x19"
                                     "Ethereum Signed Message:\n") +
                                 std::to_string(message.size()) + std::string(message);
    const auto digest = keccak256(prefixed);
    secp256k1_ecdsa_recoverable_signature sig;
    if (!with_key(key, [&](const unsigned char* k) {
            return secp256k1_ecdsa_sign_recoverable(context(), &sig, digest.data(), k, nullptr, nullptr);
        }))
        throw std::invalid_argument("signing failed");
    std::array<unsigned char, 65> out{};
    int recid = 0;
    secp256k1_ecdsa_recoverable_signature_serialize_compact(context(), out.data(), &recid, &sig);
    out[64] = static_cast<unsigned char>(27 + recid);
    return to_hex(std::string_view(reinterpret_cast<const char*>(out.data()), out.size()));
}

std::string address_with(const SecretKey& key) {
    secp256k1_pubkey pub;
    if (!with_key(key, [&](const unsigned char* k) { return secp256k1_ec_pubkey_create(context(), &pub, k); }))
        throw std::invalid_argument("invalid wallet key");
    std::array<unsigned char, 65> raw{};
    size_t len = raw.size();
    secp256k1_ec_pubkey_serialize(context(), raw.data(), &len, &pub, SECP256K1_EC_UNCOMPRESSED);
    const auto digest = keccak256(std::string_view(reinterpret_cast<const char*>(raw.data()) + 1, 64));
    return "0x" + to_hex(std::string_view(reinterpret_cast<const char*>(digest.data()) + 12, 20));
}

// ---- the commands ---------------------------------------------------------------

struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct HelpAsked {};

constexpr const char* kUsageText =
    "usage: quorent wallet new\n"
    "       quorent wallet address --secret-key-hex HEX\n"
    "       quorent wallet sign --secret-key-hex HEX (--message TEXT | --message-hex HEX)\n\n"
    "A test wallet in host code (libsecp256k1), to play the wallet's part in a flow:\n"
    "  new      prints a fresh random secp256k1 secret key as hex (for testing only)\n"
    "  address  prints the key's account address, 0x + 40 lower-case hex digits\n"
    "  sign     prints the EIP-191 personal-message signature of the message (a text,\n"
    "           or bytes given as hex, such as a delegation binding), 65 bytes\n"
    "           r || s || v (v = 27 or 28) as 0x-hex\n\n"
    "Every option takes @PATH to read the value from a file or @- to read it from\n"
    "standard input (a --message starting with @@ is the literal text after the first\n"
    "@). White space around hex values is ignored; of a --message read from a file or\n"
    "standard input, one final line break is dropped. Prefer @PATH for the key: a key\n"
    "on the command line is visible to other users of the machine. Exit status:\n"
    "0 success, 2 usage error or invalid input, 3 internal failure.\n";

// Reads all of a file (or standard input for "-") into a fixed buffer of at
// most 4 KiB, so that no reallocation leaves copies of a key behind.
void read_key_source(const std::string& path, SecretKey& key) {
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    bool ok = true;
    {
        std::FILE* f = path == "-" ? stdin : platform::fopen_for_reading(path);
        if (f == nullptr) throw Usage("--secret-key-hex: cannot read file '" + path + "'");
        n = std::fread(buf.data(), 1, buf.size(), f);
        char extra = 0;
        if (n == buf.size() && std::fread(&extra, 1, 1, f) == 1) ok = false;
        if (std::ferror(f)) {
            if (f != stdin) std::fclose(f);
            secure_wipe(buf.data(), buf.size());
            throw Usage("--secret-key-hex: cannot read " +
                        (path == "-" ? std::string("standard input") : "file '" + path + "'"));
        }
        if (f != stdin) std::fclose(f);
    }
    try {
        if (!ok) throw std::invalid_argument("a wallet key is 32 bytes of hex");
        parse_key(std::string_view(buf.data(), n), key);
    } catch (...) {
        secure_wipe(buf.data(), buf.size());
        throw;
    }
    secure_wipe(buf.data(), buf.size());
}

std::string read_text_source(const std::string& path, const std::string& option) {
    std::string content;
    if (path == "-") {
        content.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) throw Usage(option + ": cannot read standard input");
    } else {
        std::FILE* f = platform::fopen_for_reading(path);
        if (f == nullptr) throw Usage(option + ": cannot read file '" + path + "'");
        char chunk[4096];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) content.append(chunk, n);
        const bool failed = std::ferror(f) != 0;
        std::fclose(f);
        if (failed) throw Usage(option + ": cannot read file '" + path + "'");
    }
    // One final line break, as editors, echo and this tool's own output leave it, is not part of the text.
    if (!content.empty() && content.back() == '\n') content.pop_back();
    if (!content.empty() && content.back() == '\r') content.pop_back();
    return content;
}

struct Options {
    char* key = nullptr;  // the argument as given (a literal key is wiped from argv once read)
    std::optional<std::string> message;
    bool message_is_hex = false;
};

Options parse(const std::vector<std::string_view>& allowed, int argc, char** argv) {
    Options o;
    bool have_key = false;
    for (int i = 0; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word == "--help" || word == "-h") throw HelpAsked{};
        if (word.rfind("--", 0) != 0 || word.size() == 2)
            throw Usage("unexpected argument '" + std::string(word) + "' (options are --name value)");
        const auto eq = word.find('=');
        const std::string_view name = word.substr(2, eq == std::string_view::npos ? std::string_view::npos : eq - 2);
        bool known = false;
        for (std::string_view a : allowed) known = known || a == name;
        if (!known) throw Usage("unknown option --" + std::string(name));
        char* value = nullptr;
        if (eq != std::string_view::npos) {
            value = argv[i] + eq + 1;
        } else {
            if (i + 1 >= argc) throw Usage("option --" + std::string(name) + " needs a value");
            value = argv[++i];
        }
        if (name == "secret-key-hex") {
            if (have_key) throw Usage("option --secret-key-hex given twice");
            have_key = true;
            o.key = value;
        } else {
            if (o.message) throw Usage("give the message once, with --message or --message-hex");
            o.message = value;
            o.message_is_hex = name == "message-hex";
        }
    }
    return o;
}

void load_key(const Options& o, SecretKey& key) {
    if (o.key == nullptr) throw Usage("missing option --secret-key-hex");
    const std::string_view v = o.key;
    if (!v.empty() && v[0] == '@') return read_key_source(std::string(v.substr(1)), key);
    try {
        parse_key(v, key);
    } catch (...) {
        secure_wipe(o.key, v.size());
        throw;
    }
    secure_wipe(o.key, v.size());
}

std::string load_message(const Options& o) {
    if (!o.message) throw Usage("missing option --message (or --message-hex)");
    const std::string& v = *o.message;
    if (!o.message_is_hex) {
        if (v.rfind("@@", 0) == 0) return v.substr(1);
        if (v.size() > 1 && v[0] == '@') return read_text_source(v.substr(1), "--message");
        return v;
    }
    std::string_view text = v;
    std::string content;
    if (!text.empty() && text[0] == '@') {
        content = read_text_source(v.substr(1), "--message-hex");
        text = content;
    }
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    const auto bytes = from_hex(text);
    if (!bytes) throw Usage("--message-hex: expected hex digits (an optional 0x, an even count)");
    return *bytes;
}

int run(int argc, char** argv) {
    const std::string_view command = argc > 1 ? std::string_view(argv[1]) : std::string_view();
    if (command == "--help" || command == "-h" || command == "help") throw HelpAsked{};
    if (command.empty()) throw Usage("missing wallet command (new, address or sign)");
    if (command == "new") {
        parse({}, argc - 2, argv + 2);
        SecretKey key;
        do {
            if (!quorent::os_random(key.bytes.data(), key.bytes.size()))
                throw std::runtime_error("the operating system's random source failed");
        } while (!with_key(key, [](const unsigned char* k) { return secp256k1_ec_seckey_verify(context(), k); }));
        std::string hex = to_hex(std::string_view(reinterpret_cast<const char*>(key.bytes.data()), key.bytes.size()));
        const std::string address = address_with(key);
        std::cerr << "quorent wallet: a fresh random key for TESTING ONLY (address " << address
                  << "); it is printed in the clear: never use it for real funds\n";
        std::cout << hex << '\n';
        secure_wipe(hex);
        return 0;
    }
    if (command == "address") {
        const Options o = parse({"secret-key-hex"}, argc - 2, argv + 2);
        SecretKey key;
        load_key(o, key);
        std::cout << address_with(key) << '\n';
        return 0;
    }
    if (command == "sign") {
        const Options o = parse({"secret-key-hex", "message", "message-hex"}, argc - 2, argv + 2);
        if (o.key != nullptr && o.message && std::string_view(o.key) == "@-" && *o.message == "@-")
            throw Usage("only one option can be read from standard input");
        // The message first: reading it from standard input must not hold the key meanwhile.
        const std::string message = load_message(o);
        SecretKey key;
        load_key(o, key);
        std::cout << "0x" << sign_with(key, message) << '\n';
        return 0;
    }
    throw Usage("unknown wallet command '" + std::string(command) + "' (new, address or sign)");
}

}  // namespace

std::string personal_sign(std::string_view secret_key_hex, std::string_view message) {
    SecretKey key;
    parse_key(secret_key_hex, key);
    return sign_with(key, message);
}

std::string address_of(std::string_view secret_key_hex) {
    SecretKey key;
    parse_key(secret_key_hex, key);
    return address_with(key);
}

int wallet_main(int argc, char** argv) noexcept {
    int status = 3;
    try {
        status = run(argc, argv);
    } catch (const HelpAsked&) {
        std::cout << kUsageText;
        status = 0;
    } catch (const Usage& e) {
        std::cerr << "quorent wallet: " << e.what() << "\n(see quorent wallet --help)\n";
        status = 2;
    } catch (const std::invalid_argument& e) {
        std::cerr << "quorent wallet: --secret-key-hex: " << e.what() << '\n';
        status = 2;
    } catch (const std::exception& e) {
        std::cerr << "quorent wallet: internal failure: " << e.what() << '\n';
        status = 3;
    } catch (...) {
        std::cerr << "quorent wallet: internal failure\n";
        status = 3;
    }
    try {
        std::cout.flush();
        if (!std::cout && status == 0) {
            std::cerr << "quorent wallet: cannot write the output\n";
            status = 3;
        }
    } catch (...) {
        status = 3;
    }
    return status;
}

}  // namespace quorent_cli::wallet
