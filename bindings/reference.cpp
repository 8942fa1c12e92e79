// Renders the operations section of the public header and docs/operations.md
// from the interface table (ffi/src/interface.hpp) and its reference half
// (ffi/src/reference.hpp). Both files are checked into the tree; this tool
// is their only writer, as bindings/generate.py is the bindings'.
//
//   quorent_reference            (re)write whichever of the two is stale
//   quorent_reference --check    fail, naming them, if either is stale
//   --root DIR                   the repository (default: the source tree built from)
#include <algorithm>
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
            fill(out, std::string(a.help) + " (" + wire_type(a.type) + ")", head,
                 " *          " + std::string(pad + 2, ' '));
        }
        fill(out, std::string(r.returns) + " (" + wire_type(f.result) + ")", " * Returns: ", " *          ");
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
           "A text argument of an operation that can fail is refused when it is not valid UTF-8.\n";
    for (std::size_t k = 0; k < kFunctionCount; ++k) {
        const Func& f = kFunctions[k];
        const Reference& r = kReferences[k];
        out << "\n## `" << f.name << "`\n\n" << f.doc << "\n\n";
        out << "Symbol: `uniffi_quorent_sdk_uniffi_fn_func_" << f.name << "`\n\n";
        if (f.arg_count != 0) {
            out << "| argument | type | meaning |\n|---|---|---|\n";
            for (std::size_t i = 0; i < f.arg_count; ++i)
                out << "| `" << f.args[i].name << "` | " << wire_type(f.args[i].type) << " | " << f.args[i].help
                    << " |\n";
            out << '\n';
        }
        out << "Returns " << wire_type(f.result) << ": " << r.returns << ".\n\n";
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
    const std::pair<std::string, std::string> files[] = {{header_rel, *new_header}, {page_rel, markdown()}};
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
    if (check) std::printf("reference current: %s and %s match the interface table\n", header_rel.c_str(),
                           page_rel.c_str());
    return 0;
}
