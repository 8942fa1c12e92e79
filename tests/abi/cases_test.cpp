// The shared operation cases (tests/cases/operations.json), run the way a
// binding runs them: arguments lowered into library-made buffers in their
// direct and nested forms, results lifted back and compared in the file's
// value forms, every received buffer freed. Each operation's arguments,
// result and exported function come from the interface table and its
// pairing with the exported functions.
#include <rapidjson/document.h>
#include <rapidjson/istreamwrapper.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <fstream>
// libstdc++ 12's regex trips a false -Wmaybe-uninitialized in sanitizer builds.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#include <set>
#include <stdexcept>

#include "host.hpp"
#include "quorent_operations.hpp"

using namespace host;

namespace {

namespace ops = quorent_host::ops;
namespace iface = ops::iface;
using iface::Type;
using Json = rapidjson::Value;
using Alloc = rapidjson::Document::AllocatorType;

// The member `key` of an object; a missing member fails the case.
const Json& at(const Json& v, std::string_view key) {
    if (!v.IsObject()) throw std::invalid_argument("not an object where '" + std::string(key) + "' is looked up");
    const auto it = v.FindMember(std::string(key).c_str());
    if (it == v.MemberEnd()) throw std::out_of_range("no member '" + std::string(key) + "'");
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

Json string_value(std::string_view s, Alloc& a) {
    return Json(s.data(), static_cast<rapidjson::SizeType>(s.size()), a);
}

const iface::Record* record_of(Type t) {
    switch (t) {
        case Type::AppKey: return &iface::record("AppKey");
        case Type::Claims: return &iface::record("Claims");
        case Type::Deed: return &iface::record("Deed");
        case Type::Pkce: return &iface::record("Pkce");
        default: return nullptr;
    }
}

uint64_t decimal(const Json& v) {
    const std::string s = text(v);
    size_t used = 0;
    const uint64_t n = std::stoull(s, &used, 10);
    EXPECT_EQ(used, s.size()) << s;
    return n;
}

// The nested form of a value given in the file's form.
std::string nested_value(Type t, const Json& v) {
    switch (t) {
        case Type::U8: return std::string(1, static_cast<char>(v.GetInt()));
        case Type::U64: return be64(decimal(v));
        case Type::Bool: return std::string(1, v.GetBool() ? '\1' : '\0');
        case Type::String: return nested(text(v));
        case Type::ByteSeq: return nested(unhex(text(v)));
        case Type::OptionalString: return v.IsNull() ? std::string(1, '\0') : '\1' + nested_value(Type::String, v);
        case Type::OptionalU64: return v.IsNull() ? std::string(1, '\0') : '\1' + nested_value(Type::U64, v);
        default: break;
    }
    const iface::Record& r = *record_of(t);
    std::string out;
    for (size_t i = 0; i < r.field_count; ++i) out += nested_value(r.fields[i].type, at(v, r.fields[i].name));
    return out;
}

// A value read back from its nested form into the file's form.
Json read_value(Type t, Cursor& c, Alloc& a) {
    switch (t) {
        case Type::U8: return Json(static_cast<unsigned>(c.u8()));
        case Type::U64: return string_value(std::to_string(c.u64()), a);
        case Type::String: return string_value(c.str(), a);
        case Type::ByteSeq: return string_value(hex_of(c.str()), a);
        case Type::OptionalString: return c.u8() == 0 ? Json() : read_value(Type::String, c, a);
        case Type::OptionalU64: return c.u8() == 0 ? Json() : read_value(Type::U64, c, a);
        default: break;
    }
    const iface::Record& r = *record_of(t);
    Json out(rapidjson::kObjectType);
    for (size_t i = 0; i < r.field_count; ++i)
        out.AddMember(string_value(r.fields[i].name, a), read_value(r.fields[i].type, c, a), a);
    return out;
}

ops::Lowered lower(Type t, const Json& v) {
    ops::Lowered l{};
    const bool raw = has(v, "raw_hex");
    if (t == Type::U64) {
        l.u64 = decimal(v);
    } else if (t == Type::Bool) {
        l.flag = raw ? static_cast<int8_t>(unhex(text(at(v, "raw_hex"))).at(0)) : (v.GetBool() ? 1 : 0);
    } else {
        // A text crosses as its raw bytes; everything else in its nested form.
        l.buf = buf(raw ? unhex(text(at(v, "raw_hex"))) : t == Type::String ? text(v) : nested_value(t, v));
    }
    return l;
}

Json lift(Type t, const ops::Raw& r, const std::string& bytes, Alloc& a) {
    if (t == Type::U64) return string_value(std::to_string(r.integer), a);
    if (t == Type::Bool) {
        EXPECT_TRUE(r.integer == 0 || r.integer == 1);
        return Json(r.integer == 1);
    }
    if (t == Type::String) return string_value(bytes, a);
    Cursor c(bytes);
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
        const ops::Entry* op = ops::find(op_name);
        ASSERT_NE(op, nullptr) << op_name;
        const iface::Func& f = op->func();
        seen.insert(op_name);
        const Json& args = at(c, "args");
        ASSERT_EQ(args.MemberCount(), f.arg_count);
        std::array<ops::Lowered, std::tuple_size_v<decltype(iface::Func::args)>> lowered{};
        for (size_t i = 0; i < f.arg_count; ++i) lowered[i] = lower(f.args[i].type, at(args, f.args[i].name));
        ops::Raw r = op->invoke(lowered.data());
        Outcome o;
        read_status(r.status, o);
        std::string bytes;
        if (o.code != 0) {
            EXPECT_EQ(r.buf.data, nullptr);
            EXPECT_EQ(r.buf.len, 0u);
        } else if (r.buf.data != nullptr || r.buf.capacity != 0) {
            bytes = take(r.buf);
        }
        rapidjson::Document lifted;
        if (has(c, "ok")) {
            ASSERT_EQ(o.code, 0) << o.message;
            const Json v = lift(f.result, r, bytes, lifted.GetAllocator());
            EXPECT_TRUE(v == at(c, "ok")) << dump(v) << " != " << dump(at(c, "ok"));
        } else if (has(c, "ok_pattern")) {
            ASSERT_EQ(o.code, 0) << o.message;
            const Json v = lift(f.result, r, bytes, lifted.GetAllocator());
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
    for (const ops::Entry& e : ops::kOperations) all.insert(std::string(e.func().name));
    EXPECT_EQ(seen, all) << "every operation has at least one case";
}

}  // namespace
