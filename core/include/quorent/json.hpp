// The JSON engine: a value model for free-form JSON, the canonical writer,
// and a reader for typed records with exact, positioned error messages.
//
// Reading goes through nlohmann-json's SAX parser, which turns the text into
// a flat list of events (no recursion, at most 127 nested arrays/objects);
// typed readers then walk those events. Every reading error is one message
// ending in " at line L column C" (1-based, counted in bytes), placed where a
// streaming reader working left to right would notice the fault.
//
// Writing is canonical: no white space, object members ordered by the UTF-8
// bytes of their keys, strings escaped minimally, doubles in their shortest
// round-trip form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
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
        if (i < 0)
            v_ = static_cast<std::int64_t>(i);
        else
            v_ = static_cast<std::uint64_t>(i);
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
    std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double, std::string, json::Array, json::Object>
        v_;
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
// Failures carry `kind` and the reader's message.
Result<Value> parse(std::string_view text, ErrorKind kind = ErrorKind::Input);

// A non-owning reference to a callable, for the typed readers' callbacks.
template <class Sig>
class FunctionRef;
template <class R, class... A>
class FunctionRef<R(A...)> {
public:
    template <class F, std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>, int> = 0>
    FunctionRef(F&& f) noexcept  // NOLINT: implicit by design
        : obj_(const_cast<void*>(static_cast<const void*>(&f))),
          call_([](void* o, A... a) -> R { return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<A>(a)...); }) {}
    R operator()(A... a) const { return call_(obj_, std::forward<A>(a)...); }

private:
    void* obj_;
    R (*call_)(void*, A...);
};

// One field of a record: its JSON key, and whether an object without the key
// is refused with "missing field `key`".
struct Field {
    std::string_view key;
    bool required;
};

// The shape of a record. It is read from a JSON object (keys in any order,
// unknown keys skipped, each key at most once) or from a JSON array of its
// field values in field order, of which the last fields from `min_elements`
// on may be left off.
struct Record {
    std::string_view name;  // e.g. "Grant"; messages say "struct Grant"
    std::span<const Field> fields;
    std::size_t min_elements;
};

namespace detail {
enum class Ev : std::uint8_t { Null, True, False, U64, I64, F64, Str, Key, BeginObj, EndObj, BeginArr, EndArr };
struct Event {
    Ev kind;
    // Scalars and keys: the offset just past the token. Opening brackets:
    // the offset of the bracket. Closing brackets: just past the bracket.
    std::size_t pos;
    union {
        std::uint64_t u;
        std::int64_t i;
        double d;
        std::size_t off;  // strings and keys: offset into the string arena
    };
    std::size_t len = 0;  // strings and keys: byte length
};
}  // namespace detail

// Typed reading of one JSON text. The constructor parses the text into
// events; the typed calls then consume them left to right. Each call either
// consumes exactly one JSON value or returns the first fault met, and a
// syntax fault of the text is reported when the reading reaches it. After
// the top-level value, end() refuses trailing characters.
class Reader {
public:
    explicit Reader(std::string_view text, ErrorKind kind = ErrorKind::Input);
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    Status string(std::string& out);
    Status optional_string(std::optional<std::string>& out);  // null: absent
    Status u64(std::uint64_t& out);
    Status optional_u64(std::optional<std::uint64_t>& out);  // null: absent
    Status value(Value& out);                                // anything
    Status map(Object& out);  // an object of free-form values; last duplicate wins
    Status skip();            // any value, discarded
    // An array, each element read by `element`.
    Status array(FunctionRef<Status()> element);
    // A record of the given shape; `field(i)` reads the value of field i.
    Status record(const Record& shape, FunctionRef<Status(std::size_t)> field);
    // Nothing but white space may follow the value read.
    Status end();

    // A failure about the string value just read (a bad hex text, a wrong
    // length), positioned as a streaming reader would report it.
    CoreError invalid_value(std::string message) const;

    // The canonical description of a JSON number, as the messages show it.
    static std::string describe_double(double d);

private:
    const detail::Event* peek() const noexcept { return next_ < events_.size() ? &events_[next_] : nullptr; }
    std::string_view str(const detail::Event& e) const noexcept { return {arena_.data() + e.off, e.len}; }
    CoreError fail(std::string message, std::size_t offset) const;
    CoreError pending() const;
    CoreError invalid_type(const detail::Event& found, std::string_view wanted) const;
    Status value_at(Value& out);
    // The next event, consumed, when it is of the given kind; otherwise the
    // pending fault or an invalid-type failure naming what was wanted.
    Result<const detail::Event*> take(detail::Ev kind, std::string_view wanted);
    // Consumes the next event if it is a null.
    bool take_null() noexcept;

    std::string_view text_;
    ErrorKind kind_;
    std::vector<detail::Event> events_;
    std::string arena_;
    std::size_t next_ = 0;
    // The syntax (or depth) fault that ended the events early, if any.
    bool has_fault_ = false;
    std::string fault_message_;
    std::size_t fault_offset_ = 0;
    // Offset just past the last value consumed.
    std::size_t last_end_ = 0;
    // Kinds of the containers the walk is inside (true: array).
    std::vector<bool> open_;
};

// Reads one value of type T with `read(reader, out)` from a text that must
// hold nothing else.
template <class T, class F>
Result<T> read_text(std::string_view text, ErrorKind kind, F&& read) {
    Reader reader(text, kind);
    T out{};
    if (Status s = read(reader, out); !s.ok()) return std::move(s).error();
    if (Status s = reader.end(); !s.ok()) return std::move(s).error();
    return out;
}

}  // namespace quorent::json
