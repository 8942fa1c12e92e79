// The JSON engine: a value model for free-form JSON, the canonical writer,
// and a reader for typed records with exact, positioned error messages.
//
// Reading is a pull tokenizer (json_reader.cpp) under typed readers
// (json_records.cpp): memory stays a small multiple of what the caller keeps,
// nesting stops at 127 arrays/objects. Every reading error is one message
// ending in " at line L column C" (1-based, counted in bytes), placed where a
// streaming reader working left to right would notice the fault.
//
// Writing is canonical: no white space, object members ordered by the UTF-8
// bytes of their keys, strings escaped minimally, doubles in their shortest
// round-trip form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <forward_list>
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
        : obj_(const_cast<void*>(static_cast<const void*>(&f))), call_([](void* o, A... a) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<A>(a)...);
          }) {}
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

class Reader;

// A record type's reading table: each field's key and presence rule beside
// the function that reads its value into the record.
template <class T>
struct Member {
    Field field;
    Status (*read)(Reader&, T&);
};

// Typed reading of one JSON text, left to right, one token at a time: the
// text is never held as a tree, values the caller does not keep are checked
// and skipped, and a syntax fault is reported when the reading reaches it.
// Each call either consumes exactly one JSON value or returns the first fault
// met; after a fault the reader is done. After the top-level value, end()
// refuses trailing characters. Nesting stops at 127 levels.
class Reader {
public:
    explicit Reader(std::string_view text, ErrorKind kind = ErrorKind::Input) noexcept : text_(text), kind_(kind) {}
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    Status string(std::string& out);
    Status optional_string(std::optional<std::string>& out);  // null: absent
    // A string; any other value is checked, skipped and leaves `out` empty.
    Status loose_string(std::optional<std::string>& out);
    // The same, borrowing: a view of the text, or, for a string holding an
    // escape, of its decoded copy, which the reader keeps until it is
    // destroyed. Views live as long as both the text and the reader.
    Status view(std::string_view& out);
    Status optional_view(std::optional<std::string_view>& out);
    Status loose_view(std::optional<std::string_view>& out);
    Status u64(std::uint64_t& out);
    Status optional_u64(std::optional<std::uint64_t>& out);  // null: absent
    Status value(Value& out);                                // anything
    // An object of free-form values, each held as its canonical text (what
    // write() makes of it); last duplicate wins.
    Status canonical_map(TextObject& out);
    // An object of free-form values in its canonical text (what write()
    // makes of it), kept by the reader like a decoded string: `out` views it,
    // `empty` tells whether the object has no member.
    Status canonical_object(std::string_view& out, bool& empty);
    Status skip();  // any value, discarded
    // An array, each element read by `element`.
    Status array(FunctionRef<Status()> element);
    // An object, each member's value read by `member(key)`; nothing else is
    // checked about the keys. Any other value is skipped and `object` is
    // false.
    Status members(bool& object, FunctionRef<Status(std::string_view key)> member);
    // Whether the next value is an array (it is not consumed).
    bool at_array() const noexcept;
    // A record of the given shape; `field(i)` reads the value of field i.
    Status record(const Record& shape, FunctionRef<Status(std::size_t)> field);
    // array() and record() with the callable's type known, so that it is
    // inlined into the loop: defined in json_steps.hpp, for the readers that
    // include it (a record type read with a switch over its fields).
    template <class F>
    Status array_with(F&& element);
    template <class F>
    Status record_with(const Record& shape, F&& field);
    template <class T, std::size_t N>
    Status record(std::string_view name, const Member<T> (&table)[N], std::size_t min_elements, T& out) {
        static_assert(N <= 32, "a record has at most 32 fields");
        Field fields[N];
        for (std::size_t i = 0; i < N; ++i) fields[i] = table[i].field;
        return record(Record{name, fields, min_elements}, [&](std::size_t i) { return table[i].read(*this, out); });
    }
    // Nothing but white space may follow the value read.
    Status end();

    // A failure about the string value just read (a bad hex text, a wrong
    // length), positioned as a streaming reader would report it.
    CoreError invalid_value(std::string message) const;

private:
    enum class Tok : std::uint8_t { Null, True, False, U64, I64, F64, Str, Obj, Arr };
    struct Token {
        Tok kind = Tok::Null;
        // Scalars: the offset just past the token; brackets: the offset of
        // the bracket.
        std::size_t pos = 0;
        std::size_t begin = 0;  // numbers: the offset of their first character
        std::uint64_t u = 0;
        std::int64_t i = 0;
        double d = 0;
        bool deferred = false;  // a fraction without exponent left unconverted (d unset)
        std::string_view str;  // strings, when kept: the decoded text (valid until the next string)
    };

    CoreError fail(std::string message, std::size_t offset) const;
    // The same for a fixed message, kept out of the inline steps' way.
    [[gnu::cold, gnu::noinline]] CoreError fail(const char* message, std::size_t offset) const;
    CoreError invalid_type(const Token& found, std::string_view wanted) const;
    // The steps run for every token are inline (json_steps.hpp).
    inline void skip_ws() noexcept;
    // The next token; a string is decoded, and a number other than a short
    // integer or a fraction without exponent converted, only when `keep`.
    // With `defer`, such a fraction is not converted either (canonical
    // writing converts it only if its text is not already canonical).
    Status lex(Token& t, bool keep = true, bool defer = false);
    // The string opening at `start`: `str` views the text, or `buf` once an
    // escape is met; `end` is just past its closing quote.
    Status lex_string(std::size_t start, bool keep, std::string& buf, std::string_view& str, std::size_t& end);
    Status lex_number(Token& t, bool keep, bool defer);
    // The offset of the closing quote of the string opening at `start` when
    // it holds nothing but printable ASCII without escapes; otherwise 0.
    inline std::size_t plain_string_end(std::size_t start) const noexcept;
    Status lex_literal(Token& t, std::string_view word, Tok kind);
    // Entering and leaving a container, with the nesting limit.
    inline Status enter(const Token& t);
    // The separators of a container: whether another element (a member's
    // key) follows, or the container closed.
    inline Status next_element(bool first, bool& more);
    inline Status next_member(bool first, bool& more);
    inline Status key(std::string_view& out);  // valid until the next key
    inline Status colon();
    // A plain integer of at most nineteen digits read in place (the common
    // u64); false, with nothing consumed but white space, for any other text,
    // which lex() then reads.
    inline bool short_u64(std::uint64_t& out) noexcept;
    // A value whose canonical text is a part of the text (a string of
    // printable ASCII without escapes, a short integer, a short fraction
    // without exponent, its trailing zeros dropped): `canon` views that part
    // and the value is consumed. False, with nothing consumed but white
    // space, for any other value or a fault, which lex() and canonical_rest()
    // then read.
    inline bool plain_value(std::string_view& canon);
    // The token of the next value when it opens with `open` ('[' or '{'),
    // which is consumed; false, with nothing consumed but white space,
    // otherwise (lex() then reads the value's first token).
    inline bool bracket(char open, Token& t) noexcept;
    // A string of printable ASCII without escapes, viewed in the text and
    // consumed; false, with nothing consumed but white space, for any other
    // value, which lex() then reads.
    inline bool plain_string(std::string_view& out);
    // canonical_object() for the common object: at most 16 members with
    // plain keys, none repeated, and plain values, written straight into
    // the kept text. False, the reader back where it was, for any other.
    bool plain_object(std::string_view& out, bool& empty);
    // Room for `len` bytes of kept text, at the returned place.
    char* keep_space(std::size_t len);
    // The rest of a value whose first token was read.
    Status skip_rest(const Token& t);
    Status value_rest(const Token& t, Value& out);
    Status canonical_rest(const Token& t, std::string& out);
    // An object entered at `t` written canonically in one pass (members put
    // in key order afterwards if need be) when it has at most 16 members,
    // no escaped key and no repeated one; otherwise nothing is written,
    // `written` is false and the reader is back at its first member.
    Status canonical_members_in_order(const Token& t, std::string& out, bool& written);
    std::string_view keep_view(std::string_view str);
    std::string_view keep_copy(std::string_view str);  // a copy kept like a decoded string
    friend void write_canonical(std::string& out, std::string_view text);
    // The offset in the text at which `s` starts, or a value not below the
    // text's size when it is no view of the text.
    std::size_t offset_in_text(std::string_view s) const noexcept {
        return reinterpret_cast<std::uintptr_t>(s.data()) - reinterpret_cast<std::uintptr_t>(text_.data());
    }
    // The text's `len` bytes from `at`, both within it (no bounds check).
    std::string_view span(std::size_t at, std::size_t len) const noexcept { return {text_.data() + at, len}; }
    bool in_array() const noexcept { return (open_[(depth_ - 1) / 64] >> ((depth_ - 1) % 64)) & 1; }

    std::string_view text_;
    ErrorKind kind_;
    std::size_t pos_ = 0;       // the next byte to read
    std::size_t last_end_ = 0;  // just past the last value consumed
    std::size_t depth_ = 0;
    std::uint64_t open_[2] = {0, 0};  // the open containers' kinds, by depth (1: array)
    std::string scratch_;             // decoded strings
    std::string key_;                 // decoded keys
    std::string canonical_;           // canonical_object's text before it is kept
    std::forward_list<std::string> kept_;  // blocks of decoded strings handed out as views
    std::size_t first_used_ = 0;           // of first_, the block kept in the reader itself
    char first_[256];
};

// The canonical form of a JSON text that has been read successfully,
// appended to `out`.
void write_canonical(std::string& out, std::string_view text);

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
