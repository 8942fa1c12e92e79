// Renders, from the interface table (ffi/src/interface.hpp) and its
// reference half (ffi/src/reference.hpp):
//   ffi/include/quorent_sdk_uniffi.h   its operations section
//   docs/operations.md                 the operations reference
//   bindings/interface.json            the interface description every binding is
//                                      generated from (bindings/generate.py): every
//                                      operation, argument, record field and result
//                                      with its type, documentation, errors and secret
//                                      mark; the error type; the contract version; the
//                                      checksum of every operation's blob
// The files are checked into the tree; this tool is their only writer, as
// bindings/generate.py is the bindings'.
//
//   quorent_reference            (re)write whichever of them is stale
//   quorent_reference --check    fail, naming them, if any is stale
//   --root DIR                   the repository (default: the source tree built from)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "interface.hpp"
#include "reference.hpp"

namespace {

using namespace quorent::ffi::iface;

const char* c_type(Type t) {
    switch (t) {
        case Type::U8: return "uint8_t";
        case Type::U64: return "uint64_t";
        case Type::Bool: return "int8_t";
        default: return "RustBuffer";
    }
}

const char* wire_type(Type t) {
    switch (t) {
        case Type::U8: return "u8";
        case Type::U64: return "u64";
        case Type::Bool: return "bool";
        case Type::String: return "String";
        case Type::OptionalString: return "Option<String>";
        case Type::OptionalU64: return "Option<u64>";
        case Type::ByteSeq: return "Vec<u8>";
        case Type::AppKey: return "AppKey";
        case Type::Claims: return "Claims";
        case Type::Deed: return "Deed";
        case Type::Pkce: return "Pkce";
    }
    return "?";
}

// A type as the interface description names it (bindings/generator/model.py).
std::string model_type(Type t) {
    switch (t) {
        case Type::U8: return "u8";
        case Type::U64: return "u64";
        case Type::Bool: return "bool";
        case Type::String: return "str";
        case Type::OptionalString: return "opt:str";
        case Type::OptionalU64: return "opt:u64";
        case Type::ByteSeq: return "bytes";
        case Type::AppKey: return "record:AppKey";
        case Type::Claims: return "record:Claims";
        case Type::Deed: return "record:Deed";
        case Type::Pkce: return "record:Pkce";
    }
    return "?";
}

// A value's type for the reference, marked when the value is secret.
std::string shown_type(Type t, bool secret) { return std::string(wire_type(t)) + (secret ? ", secret" : ""); }

// Words of text filled into lines of at most `width` columns, each line
// starting with `lead` (the first with `first`).
void fill(std::ostringstream& out, std::string_view text, std::string_view first, std::string_view lead,
          std::size_t width = 100) {
    std::string line(first);
    bool empty = true;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = text.find(' ', i);
        if (j == std::string_view::npos) j = text.size();
        const std::string_view word = text.substr(i, j - i);
        if (!empty && line.size() + 1 + word.size() > width) {
            out << line << '\n';
            line = lead;
            empty = true;
        }
        if (!empty) line += ' ';
        line += word;
        empty = false;
        i = j + 1;
    }
    out << line << '\n';
}

std::vector<std::string> errors_of(const Func& f, const Reference& r) {
    std::vector<std::string> out;
    if (!f.fallible) return out;
    std::string texts;
    for (std::size_t i = 0; i < f.arg_count; ++i)
        if (f.args[i].type == Type::String)
            texts += (texts.empty() ? "" : ", ") + std::string(f.args[i].name);
    if (!texts.empty())
        out.push_back("Sdk \"input: <argument> is not valid UTF-8\" for the first text argument that is not (" + texts +
                      ")");
    for (std::string_view e : r.errors)
        if (!e.empty()) out.emplace_back(e);
    return out;
}

std::string header_section() {
    std::ostringstream out;
    for (std::size_t k = 0; k < kFunctionCount; ++k) {
        const Func& f = kFunctions[k];
        const Reference& r = kReferences[k];
        out << "\n/* " << f.name << "\n *\n";
        fill(out, f.doc, " * ", " * ");
        out << " *\n";
        std::size_t pad = 0;
        for (std::size_t i = 0; i < f.arg_count; ++i) pad = std::max(pad, f.args[i].name.size());
        for (std::size_t i = 0; i < f.arg_count; ++i) {
            const Arg& a = f.args[i];
            const std::string head = std::string(i == 0 ? " * Args:    " : " *          ") + std::string(a.name) +
                                     std::string(pad - a.name.size() + 2, ' ');
            fill(out, std::string(a.help) + " (" + shown_type(a.type, a.secret) + ")", head,
                 " *          " + std::string(pad + 2, ' '));
        }
        fill(out, std::string(r.returns) + " (" + shown_type(f.result, f.secret_result) + ")", " * Returns: ",
             " *          ");
        const auto errors = errors_of(f, r);
        if (errors.empty()) {
            out << " * Errors:  none (never sets code 1)\n";
        } else {
            out << " * Errors:  code 1, an SdkError, in the order the checks run:\n";
            for (const std::string& e : errors) fill(out, e, " *            ", " *              ");
        }
        out << " */\nQUORENT_API " << c_type(f.result) << " uniffi_quorent_sdk_uniffi_fn_func_" << f.name << '(';
        for (std::size_t i = 0; i < f.arg_count; ++i) out << c_type(f.args[i].type) << ' ' << f.args[i].name << ", ";
        out << "RustCallStatus* status);\n";
    }
    return out.str();
}

std::string markdown() {
    std::ostringstream out;
    out << "# Operations\n\n"
           "Every operation of libquorent_sdk_uniffi, as the public header `quorent_sdk_uniffi.h` declares it.\n"
           "Generated from the interface table (`ffi/src/interface.hpp`, `ffi/src/reference.hpp`); do not edit.\n"
           "Every operation is pure (no I/O, no clock, no state) but `generate_pkce`, which reads 32 random bytes "
           "from\nthe operating system per call; every operation may be called from any thread.\n"
           "A text argument of an operation that can fail is refused when it is not valid UTF-8.\n"
           "A type marked secret is a secret key, a seed, a PKCE verifier or a signature a seed derives from: "
           "wipe your\ncopies once used and keep it out of logs (the bindings redact it and wipe their own copies).\n"
           "The same facts, as data for tools, are in `bindings/interface.json`.\n";
    for (std::size_t k = 0; k < kFunctionCount; ++k) {
        const Func& f = kFunctions[k];
        const Reference& r = kReferences[k];
        out << "\n## `" << f.name << "`\n\n" << f.doc << "\n\n";
        out << "Symbol: `uniffi_quorent_sdk_uniffi_fn_func_" << f.name << "`\n\n";
        if (f.arg_count != 0) {
            out << "| argument | type | meaning |\n|---|---|---|\n";
            for (std::size_t i = 0; i < f.arg_count; ++i)
                out << "| `" << f.args[i].name << "` | " << shown_type(f.args[i].type, f.args[i].secret) << " | "
                    << f.args[i].help << " |\n";
            out << '\n';
        }
        out << "Returns " << shown_type(f.result, f.secret_result) << ": " << r.returns << ".\n\n";
        const auto errors = errors_of(f, r);
        if (errors.empty()) {
            out << "Never fails.\n";
        } else {
            out << "Errors, in the order the checks run:\n";
            for (const std::string& e : errors) out << "- " << e << '\n';
        }
    }
    return out.str();
}

// ---- the interface description --------------------------------------------------

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + '"';
}

const char* json_bool(bool b) { return b ? "true" : "false"; }

// The bytes of an item's blob, encoded as the library encodes them at compile
// time, and their checksum (which the library exports per operation).
template <class Item>
std::uint16_t blob_checksum(const Item& item) {
    ByteSink size(nullptr);
    encode(size, item);
    std::vector<std::uint8_t> bytes(size.size());
    ByteSink sink(bytes.data());
    encode(sink, item);
    return checksum(bytes.data(), bytes.size());
}

std::string value_json(std::string_view name, Type type, std::string_view doc, bool secret) {
    std::string out = "{";
    if (!name.empty()) out += "\"name\": " + json_string(name) + ", ";
    out += "\"type\": " + json_string(model_type(type)) + ", \"doc\": " + json_string(doc) +
           ", \"secret\": " + json_bool(secret) + "}";
    return out;
}

std::string description() {
    std::ostringstream out;
    out << "{\n  \"about\": "
        << json_string(
               "The interface of libquorent_sdk_uniffi, from which every binding is generated "
               "(bindings/generate.py, which checks it against a built library's blobs and checksums). Written by "
               "quorent_reference from ffi/src/interface.hpp and ffi/src/reference.hpp; do not edit. Types: u8, u64, "
               "bool, str, bytes, opt:<type>, record:<Name>. secret marks a secret key, a seed, a PKCE verifier or "
               "a signature a seed derives from: a binding redacts it in its printed forms and wipes its own copies.")
        << ",\n";
    out << "  \"namespace\": " << json_string(kModule) << ",\n";
    out << "  \"contract_version\": " << kContractVersion << ",\n";
    out << "  \"operations\": [\n";
    for (std::size_t k = 0; k < kFunctionCount; ++k) {
        const Func& f = kFunctions[k];
        const Reference& r = kReferences[k];
        out << "    {\n      \"name\": " << json_string(f.name) << ",\n";
        out << "      \"doc\": " << json_string(f.doc) << ",\n";
        out << "      \"args\": [";
        for (std::size_t i = 0; i < f.arg_count; ++i) {
            const Arg& a = f.args[i];
            out << (i == 0 ? "\n" : ",\n") << "        " << value_json(a.name, a.type, a.help, a.secret);
        }
        out << (f.arg_count == 0 ? "],\n" : "\n      ],\n");
        out << "      \"result\": " << value_json("", f.result, r.returns, f.secret_result) << ",\n";
        out << "      \"error\": " << (f.fallible ? json_string(kError.name) : "null") << ",\n";
        const auto errors = errors_of(f, r);
        out << "      \"errors\": [";
        for (std::size_t i = 0; i < errors.size(); ++i)
            out << (i == 0 ? "\n" : ",\n") << "        " << json_string(errors[i]);
        out << (errors.empty() ? "],\n" : "\n      ],\n");
        out << "      \"checksum\": " << blob_checksum(f) << "\n";
        out << "    }" << (k + 1 < kFunctionCount ? ",\n" : "\n");
    }
    out << "  ],\n  \"records\": [\n";
    for (std::size_t k = 0; k < kRecords.size(); ++k) {
        const Record& rec = kRecords[k];
        out << "    {\n      \"name\": " << json_string(rec.name) << ",\n";
        out << "      \"doc\": " << json_string(rec.doc) << ",\n";
        out << "      \"fields\": [";
        for (std::size_t i = 0; i < rec.field_count; ++i) {
            const Field& fd = rec.fields[i];
            out << (i == 0 ? "\n" : ",\n") << "        " << value_json(fd.name, fd.type, fd.doc, fd.secret);
        }
        out << "\n      ]\n    }" << (k + 1 < kRecords.size() ? ",\n" : "\n");
    }
    out << "  ],\n  \"errors\": [\n";
    out << "    {\n      \"name\": " << json_string(kError.name) << ",\n";
    out << "      \"doc\": " << json_string(kError.doc) << ",\n";
    out << "      \"variants\": [";
    for (std::size_t i = 0; i < kError.variants.size(); ++i)
        out << (i == 0 ? "\n" : ",\n") << "        {\"name\": " << json_string(kError.variants[i])
            << ", \"doc\": \"\"}";
    out << "\n      ]\n    }\n  ]\n}\n";
    return out.str();
}

std::optional<std::string> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

constexpr std::string_view kBegin = "/* ---- operations: generated from the interface table ---- */\n";
constexpr std::string_view kEnd = "\n/* ---- end of the generated operations ---- */\n";

// The header with its operations section replaced by the rendered one;
// nothing when the header has no such section.
std::optional<std::string> rendered_header(const std::string& header) {
    const auto b = header.find(kBegin);
    const auto e = header.find(kEnd, b == std::string::npos ? 0 : b);
    if (b == std::string::npos || e == std::string::npos) return std::nullopt;
    std::string out = header;
    out.replace(b + kBegin.size(), e - b - kBegin.size(), header_section());
    return out;
}

int usage() {
    std::fprintf(stderr, "usage: quorent_reference [--check] [--root DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool check = false;
    std::string root = QUORENT_SOURCE_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--check") check = true;
        else if (a == "--root" && i + 1 < argc) root = argv[++i];
        else return usage();
    }
    const std::string header_rel = "ffi/include/quorent_sdk_uniffi.h";
    const std::string page_rel = "docs/operations.md";
    const auto header = slurp(root + "/" + header_rel);
    if (!header) {
        std::fprintf(stderr, "%s/%s: cannot be read\n", root.c_str(), header_rel.c_str());
        return 2;
    }
    const auto new_header = rendered_header(*header);
    if (!new_header) {
        std::fprintf(stderr, "%s: no generated operations section (between \"%.*s\" and \"%.*s\")\n",
                     header_rel.c_str(), static_cast<int>(kBegin.size() - 1), kBegin.data(),
                     static_cast<int>(kEnd.size() - 2), kEnd.data() + 1);
        return 2;
    }
    const std::string description_rel = "bindings/interface.json";
    const std::pair<std::string, std::string> files[] = {
        {header_rel, *new_header}, {page_rel, markdown()}, {description_rel, description()}};
    std::vector<std::string> stale;
    for (const auto& [rel, text] : files) {
        const std::string path = root + "/" + rel;
        if (slurp(path) == text) continue;
        if (check) {
            stale.push_back(rel);
            continue;
        }
        std::ofstream out(path, std::ios::binary);
        out << text;
        if (!out.flush()) {
            std::fprintf(stderr, "%s: cannot be written\n", path.c_str());
            return 2;
        }
        std::printf("wrote %s\n", rel.c_str());
    }
    if (!stale.empty()) {
        std::string names;
        for (const std::string& s : stale) names += (names.empty() ? "" : ", ") + s;
        std::fprintf(stderr, "out of date with the interface table: %s\nrun: %s\n", names.c_str(), argv[0]);
        return 1;
    }
    if (check)
        std::printf("reference current: %s, %s and %s match the interface table\n", header_rel.c_str(),
                    page_rel.c_str(), description_rel.c_str());
    return 0;
}
