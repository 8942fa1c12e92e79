// JSON: a value model for free-form JSON, its reading, and canonical writing.
// The typed readers of records are internal to the core (json_reader.hpp).
//
// Reading accepts exactly one JSON value with white space around it; nesting
// stops at 127 arrays/objects. Every reading error is one message ending in
// " at line L column C" (1-based, counted in bytes), placed where a streaming
// reader working left to right notices the fault.
//
// Writing is canonical: no white space, object members ordered by the UTF-8
// bytes of their keys (a repeated key keeps its last value), strings escaped
// minimally, doubles in their shortest round-trip form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "quorent/error.hpp"

namespace quorent::json {

class Value;
using Array = std::vector<Value>;
// std::string compares its bytes as unsigned char, so this is UTF-8 byte order.
using Object = std::map<std::string, Value, std::less<>>;
// Free-form members held compactly: each value as its canonical text.
using TextObject = std::map<std::string, std::string, std::less<>>;

// A free-form JSON value. A number is held as an unsigned or signed 64-bit
// integer when written as one (no fraction, no exponent, in range), otherwise
// as a double.
class Value {
public:
    enum class Type : unsigned char { Null, Bool, U64, I64, Double, String, Array, Object };

    Value() noexcept = default;
    Value(std::nullptr_t) noexcept {}
    Value(bool b) noexcept : v_(b) {}
    Value(std::uint64_t u) noexcept : v_(u) {}
    Value(std::int64_t i) noexcept : v_(i) {}
    Value(double d) noexcept : v_(d) {}
    Value(std::string s) noexcept : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(json::Array a) noexcept : v_(std::move(a)) {}
    Value(json::Object o) noexcept : v_(std::move(o)) {}
    // Other integer types: non-negative values are unsigned, negative signed.
    template <class I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool> &&
                                            !std::is_same_v<I, std::uint64_t> && !std::is_same_v<I, std::int64_t>,
                                        int> = 0>
    Value(I i) noexcept {
        if (i < 0) v_ = static_cast<std::int64_t>(i);
        else v_ = static_cast<std::uint64_t>(i);
    }

    Type type() const noexcept { return static_cast<Type>(v_.index()); }
    bool is_null() const noexcept { return type() == Type::Null; }

    // Typed access: a pointer to the held value, or null for another type.
    const bool* as_bool() const noexcept { return std::get_if<bool>(&v_); }
    const std::uint64_t* as_u64() const noexcept { return std::get_if<std::uint64_t>(&v_); }
    const std::int64_t* as_i64() const noexcept { return std::get_if<std::int64_t>(&v_); }
    const double* as_double() const noexcept { return std::get_if<double>(&v_); }
    const std::string* as_string() const noexcept { return std::get_if<std::string>(&v_); }
    const json::Array* as_array() const noexcept { return std::get_if<json::Array>(&v_); }
    const json::Object* as_object() const noexcept { return std::get_if<json::Object>(&v_); }
    json::Array* as_array() noexcept { return std::get_if<json::Array>(&v_); }
    json::Object* as_object() noexcept { return std::get_if<json::Object>(&v_); }

    // The member `key` of an object; null when this is no object or has no
    // such member.
    const Value* find(std::string_view key) const;
    // The member `key` if it holds a string, otherwise null.
    const std::string* find_string(std::string_view key) const;

    bool operator==(const Value& other) const;

private:
    std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double, std::string, json::Array, json::Object> v_;
};

// ---- writing ----------------------------------------------------------------

// A JSON string: `"` and `\` escaped, \b \t \n \f \r for those controls,
// \u00XX (lower-case hex) for the other characters below U+0020, every other
// byte (solidus, DEL and non-ASCII included) raw.
void write_string(std::string& out, std::string_view text);
void write_u64(std::string& out, std::uint64_t value);
void write_i64(std::string& out, std::int64_t value);
// Shortest round-trip decimal: 1.0, 100.0, 12.34, 0.00001, 1e-6, 1e16,
// 1.5e16, 1.234e-7; not finite: null.
void write_double(std::string& out, double value);
// Any value, canonically (objects in key order at every level).
void write(std::string& out, const Value& value);
std::string to_string(const Value& value);

// ---- reading ----------------------------------------------------------------

// Reads a text that holds exactly one JSON value into the value model.
// Failures carry `kind` and the reader's message (" at line L column C" at
// the end).
Result<Value> parse(std::string_view text, ErrorKind kind = ErrorKind::Input);

// The canonical text of a text that holds exactly one JSON value: what
// write() makes of parse()'s value, without building it, in time linear in
// the text's size. Failures as parse()'s.
Result<std::string> canonical_text(std::string_view text, ErrorKind kind = ErrorKind::Input);

}  // namespace quorent::json
