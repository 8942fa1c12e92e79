// The public header's operation section and docs/operations.md are rendered
// from the interface table and its reference half; this test renders both
// and fails when a committed file differs. To bring them up to date after a
// change to the table:
//   QUORENT_WRITE_REFERENCE=1 build/tests/ffi_tests --gtest_filter='Reference.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

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
           "Every operation is pure (no I/O, no clock, no state) but `generate_pkce`, which reads 32 random bytes from\n"
           "the operating system per call; every operation may be called from any thread.\n"
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

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool writing() { return std::getenv("QUORENT_WRITE_REFERENCE") != nullptr; }

constexpr std::string_view kBegin = "/* ---- operations: generated from the interface table ---- */\n";
constexpr std::string_view kEnd = "\n/* ---- end of the generated operations ---- */\n";

TEST(Reference, HeaderMatchesTheTable) {
    const std::string path = std::string(QUORENT_SOURCE_DIR) + "/ffi/include/quorent_sdk_uniffi.h";
    std::string header = slurp(path);
    const auto b = header.find(kBegin);
    const auto e = header.find(kEnd);
    ASSERT_NE(b, std::string::npos) << path << " has no generated operations section";
    ASSERT_NE(e, std::string::npos);
    const std::string want = header_section();
    const std::string have = header.substr(b + kBegin.size(), e - b - kBegin.size());
    if (writing() && have != want) {
        header.replace(b + kBegin.size(), e - b - kBegin.size(), want);
        std::ofstream(path, std::ios::binary) << header;
        return;
    }
    EXPECT_EQ(have, want) << "the header's operations differ from the table; see this file's comment";
}

TEST(Reference, OperationsPageMatchesTheTable) {
    const std::string path = std::string(QUORENT_SOURCE_DIR) + "/docs/operations.md";
    const std::string want = markdown();
    if (writing() && slurp(path) != want) {
        std::ofstream(path, std::ios::binary) << want;
        return;
    }
    EXPECT_EQ(slurp(path), want) << "docs/operations.md differs from the table; see this file's comment";
}

}  // namespace
