// The public header is written by hand; every operation it declares must be
// the table's: same operations in the same order, same argument names and C
// types, same return type.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "interface.hpp"

using namespace quorent::ffi::iface;

namespace {

std::string c_type(Type t) {
    switch (t) {
        case Type::U64:
            return "uint64_t";
        case Type::Bool:
            return "int8_t";
        case Type::U8:
            return "uint8_t";
        default:
            return "RustBuffer";
    }
}

std::string declaration(const Func& f) {
    std::string out =
        "QUORENT_API " + c_type(f.result) + " uniffi_quorent_sdk_uniffi_fn_func_" + std::string(f.name) + "(";
    for (std::size_t i = 0; i < f.arg_count; ++i)
        out += c_type(f.args[i].type) + " " + std::string(f.args[i].name) + ", ";
    return out + "RustCallStatus* status);";
}

}  // namespace

TEST(PublicHeader, DeclaresEveryOperationAsTheTableDoes) {
    const std::string path = QUORENT_SOURCE_DIR "/ffi/include/quorent_sdk_uniffi.h";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::stringstream text;
    text << in.rdbuf();
    // One declaration per operation, white space normalised.
    std::string header;
    for (char c : text.str()) {
        const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\r';
        if (!space) header += c;
        else if (!header.empty() && header.back() != ' ') header += ' ';
    }
    std::vector<std::string> declared;
    for (std::size_t at = header.find("QUORENT_API "); at != std::string::npos; at = header.find("QUORENT_API ", at + 1)) {
        const std::size_t end = header.find(");", at);
        ASSERT_NE(end, std::string::npos);
        std::string decl = header.substr(at, end + 2 - at);
        if (decl.find(" uniffi_quorent_sdk_uniffi_fn_func_") != std::string::npos) declared.push_back(std::move(decl));
    }

    std::vector<std::string> expected;
    for (const Func& f : kFunctions) expected.push_back(declaration(f));
    EXPECT_EQ(declared, expected);
}
