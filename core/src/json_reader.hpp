// Typed reading of JSON texts, for the core modules that read records
// (capabilities, tokens): a pull reader over the text with exact, positioned
// error messages, and the canonical writer of free-form values.
//
// Reading goes left to right, one token at a time: the text is never held as
// a tree, values the caller does not keep are checked and skipped, and a
// syntax fault is reported when the reading reaches it. Every reading error
// is one message ending in " at line L column C" (1-based, counted in bytes),
// placed just past the offending byte, or at the end of a text that ends too
// early. Nesting stops at 127 arrays/objects. Memory stays a small multiple
// of the text.
//
// Every step costs time linear in the bytes it consumes, and no byte is
// consumed twice: the cost of a reading is linear in the text's size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <forward_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "json_number.hpp"
#include "json_scan.hpp"
#include "quorent/json.hpp"

namespace quorent::json {

inline constexpr std::size_t kMaxDepth = 127;

// The fuzzing build counts the readers' work: a unit per token and per
// member, and per byte read, decoded, compared, written or copied. Its JSON
// target fails an input whose work exceeds a fixed multiple of its length.
#if defined(QUORENT_JSON_COUNT_WORK)
extern thread_local std::uint64_t work_count;
inline void count_work(std::size_t n) noexcept { work_count += n; }
#else
inline void count_work(std::size_t) noexcept {}
#endif

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

// The most fields a record may have (the reader tracks them in one word).
inline constexpr std::size_t kMaxFields = 32;

// The shape of a record. It is read from a JSON object (keys in any order,
// unknown keys skipped, each key at most once) or from a JSON array of its
// field values in field order, of which the last fields from `min_elements`
// on may be left off. Made only through make_record(), which bounds the
// number of fields when the program is compiled.
class Record {
public:
    std::string_view name() const noexcept { return name_; }  // e.g. "Grant"; messages say "struct Grant"
    std::span<const Field> fields() const noexcept { return {fields_, count_}; }
    std::size_t min_elements() const noexcept { return min_elements_; }

private:
    template <std::size_t N>
    friend constexpr Record make_record(std::string_view, const Field (&)[N], std::size_t) noexcept;
    constexpr Record(std::string_view name, const Field* fields, std::size_t count, std::size_t min_elements) noexcept
        : name_(name), fields_(fields), count_(count), min_elements_(min_elements) {}
    std::string_view name_;
    const Field* fields_;
    std::size_t count_;
    std::size_t min_elements_;
};

template <std::size_t N>
constexpr Record make_record(std::string_view name, const Field (&fields)[N], std::size_t min_elements) noexcept {
    static_assert(N >= 1 && N <= kMaxFields, "a record has 1 to 32 fields");
    return Record(name, fields, N, min_elements);
}

// A growing array of trivially copyable elements whose first N live inside
// it: the few members and objects of most texts cost no allocation. Not
// movable (it may point into itself).
template <class T, std::size_t N>
class InlineVector {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    InlineVector() noexcept = default;
    InlineVector(const InlineVector&) = delete;
    InlineVector& operator=(const InlineVector&) = delete;

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    T* data() noexcept { return data_; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    T& back() noexcept { return data_[size_ - 1]; }
    [[gnu::always_inline]] void push_back(const T& v) {
        if (size_ == capacity_) grow(size_ + 1);
        data_[size_++] = v;
    }
    [[gnu::always_inline]] void append(const T* v, std::size_t n) {
        if (capacity_ - size_ < n) grow(size_ + n);
        if (n != 0) std::memcpy(data_ + size_, v, n * sizeof(T));
        size_ += n;
    }
    void pop_back() noexcept { --size_; }
    void shrink_to(std::size_t n) noexcept { size_ = n; }
    void clear() noexcept { size_ = 0; }

private:
    [[gnu::noinline]] void grow(std::size_t need) {
        const std::size_t capacity = std::max(need, 2 * capacity_);
        std::unique_ptr<T[]> bigger(new T[capacity]);
        std::memcpy(bigger.get(), data_, size_ * sizeof(T));
        heap_ = std::move(bigger);
        data_ = heap_.get();
        capacity_ = capacity;
    }

    T* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = N;
    std::unique_ptr<T[]> heap_;
    T inline_[N];
};

class Reader;

// A record type's reading table: each field's key and presence rule beside
// the function that reads its value into the record.
template <class T>
struct Member {
    Field field;
    Status (*read)(Reader&, T&);
};

// Each call either consumes exactly one JSON value or returns the first fault
// met; after a fault the reader is done. After the top-level value, end()
// refuses trailing characters.
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
    Status value(Value& out);                                // anything, into the value model
    // Any value, its canonical text appended to `out`.
    Status canonical(std::string& out);
    // An object of free-form values, each held as its canonical text; last
    // duplicate wins.
    Status canonical_map(TextObject& out);
    // An object in its canonical text, kept by the reader like a decoded
    // string: `out` views it, `empty` tells whether it has no member.
    Status canonical_object(std::string_view& out, bool& empty);
    Status skip();  // any value, discarded
    // An array, each element read by `element`.
    Status array(FunctionRef<Status()> element) { return array_with(element); }
    // An object, each member's value read by `member(key)`; nothing else is
    // checked about the keys. Any other value is skipped and `object` is
    // false.
    Status members(bool& object, FunctionRef<Status(std::string_view key)> member);
    // Whether the next value is an array (it is not consumed).
    bool at_array() const noexcept { return at(ws_end(pos_), '['); }
    // A record of the given shape; `field(i)` reads the value of field i.
    Status record(const Record& shape, FunctionRef<Status(std::size_t)> field) { return record_with(shape, field); }
    template <class T, std::size_t N>
    Status record(std::string_view name, const Member<T> (&table)[N], std::size_t min_elements, T& out) {
        static_assert(N <= kMaxFields, "a record has at most 32 fields");
        Field fields[N];
        for (std::size_t i = 0; i < N; ++i) fields[i] = table[i].field;
        return record_with(make_record(name, fields, min_elements),
                           [&](std::size_t i) { return table[i].read(*this, out); });
    }
    // array() and record() with the callable's type known, so that it is
    // inlined into the loop (a record type read with a switch over its
    // fields).
    template <class F>
    Status array_with(F&& element);
    template <class F>
    Status record_with(const Record& shape, F&& field);
    // Nothing but white space may follow the value read.
    Status end();

    // A failure about the string value just read (a bad hex text, a wrong
    // length), positioned as a streaming reader would report it.
    CoreError invalid_value(std::string message) const;

private:
    enum class Tok : std::uint8_t { Null, True, False, Num, Str, Obj, Arr };
    struct Token {
        Tok kind = Tok::Null;
        // Scalars: the offset just past the token; brackets: the offset of
        // the bracket.
        std::size_t pos = 0;
        Number num;            // numbers
        std::string_view str;  // strings, when kept: the decoded text (valid until the next string)
    };

    CoreError fail(std::string message, std::size_t offset) const;
    [[gnu::cold, gnu::noinline]] CoreError fail(const char* message, std::size_t offset) const;
    CoreError invalid_type(Token& found, std::string_view wanted);

    // ---- the tokenizer's steps, inline: they run once or more per token
    [[gnu::always_inline]] std::size_t ws_end(std::size_t i) const noexcept { return json::ws_end(text_, i); }
    [[gnu::always_inline]] void skip_ws() noexcept {
        const std::size_t from = pos_;
        pos_ = ws_end(pos_);
        count_work(pos_ - from);
    }
    bool at(std::size_t i, char c) const noexcept { return i < text_.size() && text_[i] == c; }
    // The next token; a string is decoded only when `keep`.
    Status lex(Token& t, bool keep = true);
    Status lex_number(Token& t);
    // The string opening at `start`: `str` views the text, or `buf` once an
    // escape is met; `end` is just past its closing quote.
    Status lex_string(std::size_t start, bool keep, std::string& buf, std::string_view& str, std::size_t& end);
    // The offset of the closing quote of the string opening at `start` when
    // it holds nothing but printable ASCII without escapes; otherwise 0.
    std::size_t plain_string_end(std::size_t start) const noexcept {
        const auto* s = reinterpret_cast<const unsigned char*>(text_.data());
        const std::size_t i = scan::plain_run_var(s, start + 1, text_.size(), true);
        return i < text_.size() && s[i] == '"' ? i : 0;
    }
    Status lex_literal(Token& t, std::string_view word, Tok kind);
    // Entering a container, with the nesting limit.
    Status enter(const Token& t);
    // The separators of a container: whether another element (a member's
    // key) follows, or the container closed.
    Status next_element(bool first, bool& more);
    Status next_member(bool first, bool& more);
    Status key(std::string_view& out);  // valid until the next key
    Status colon();
    // The token of the next value when it opens with `open` ('[' or '{'),
    // which is consumed; false, with nothing consumed but white space,
    // otherwise.
    bool bracket(char open, Token& t) noexcept;
    // A string of printable ASCII without escapes, viewed in the text and
    // consumed; false, with nothing consumed but white space, otherwise.
    bool plain_string(std::string_view& out) noexcept;
    // A number that opens the next value, scanned and consumed; false, with
    // nothing consumed but white space, for any other value. A fault in the
    // number's text is `status`.
    bool number(Number& num, Status& status);
    // u64() and optional_u64(): a null is absent when `absent` is given.
    Status read_u64(std::uint64_t& out, bool* absent);
    // The rest of a value whose first token was read.
    Status skip_rest(const Token& t);
    Status value_rest(Token& t, Value& out);
    // Room for `len` bytes of kept text, at the returned place.
    char* keep_space(std::size_t len);
    std::string_view keep_view(std::string_view str);
    std::string_view keep_copy(std::string_view str);  // a copy kept like a decoded string
    // The text's `len` bytes from `at`, both within it (no bounds check).
    std::string_view span(std::size_t at, std::size_t len) const noexcept { return {text_.data() + at, len}; }
    bool in_array() const noexcept { return (open_[(depth_ - 1) / 64] >> ((depth_ - 1) % 64)) & 1; }

    // ---- the canonical writer (json_canonical.cpp)
    // The value is written in reading order into canon_; objects whose
    // members must be written in another order (out of order, repeated) are
    // recorded, and written in their order when the whole value has been
    // read (canonical_emit).
    struct CanonMember {
        const char* key;         // decoded, for ordering
        std::size_t key_len;
        std::size_t begin, end;  // `"key":value` in canon_
        std::size_t nested;      // canon_objects_.size() when it started
        std::size_t nested_end;  // ... when it ended
        std::size_t shrink;      // bytes dropped inside it
    };
    struct CanonObject {
        std::size_t begin, end;     // `{...}` in canon_
        std::size_t first, count;   // its members in writing order, in canon_kept_
        std::size_t nested;         // canon_objects_.size() when it opened: its recorded descendants precede it
    };
    struct SortGroup {
        std::size_t lo, hi, depth;
    };
    Status canonical_read();  // one value into canon_
    Status canonical_read_rest();
    Status canonical_read_object();
    void canonical_close_object(std::size_t first_member, std::size_t begin, std::size_t nested);
    void sort_members(CanonMember* m, std::size_t n);
    // The canonical text of what canonical_read() wrote: its length, and the
    // text written at `out`.
    std::size_t canonical_size() const noexcept { return canon_.size() - canon_shrink_; }
    void canonical_emit(char* out);
    char* emit_range(char* out, std::size_t begin, std::size_t end, std::size_t nested, std::size_t nested_end);
    char* emit_object(char* out, std::size_t object);
    void canonical_reset() noexcept;

    std::string_view text_;
    ErrorKind kind_;
    std::size_t pos_ = 0;       // the next byte to read
    std::size_t last_end_ = 0;  // just past the last value consumed
    std::size_t depth_ = 0;
    std::uint64_t open_[2] = {0, 0};  // the open containers' kinds, by depth (1: array)
    std::string scratch_;             // decoded strings
    std::string key_;                 // decoded keys
    std::forward_list<std::string> kept_;  // blocks of decoded strings handed out as views
    std::size_t first_used_ = 0;           // of first_, the block kept in the reader itself
    char first_[256];
    // The canonical writer's state, empty between its calls.
    void canon_put(char c) { canon_.push_back(c); }
    void canon_put(std::string_view s) { canon_.append(s.data(), s.size()); }
    InlineVector<char, 256> canon_;
    std::size_t canon_shrink_ = 0;  // bytes of canon_ that the canonical text leaves out
    InlineVector<CanonMember, 16> canon_open_;
    InlineVector<CanonMember, 16> canon_kept_;
    InlineVector<CanonObject, 4> canon_objects_;
    InlineVector<std::size_t, 8> canon_stack_;
    std::string canon_escaped_;  // a string or a double written before it is put
    std::vector<CanonMember> canon_tmp_;
    std::vector<SortGroup> canon_groups_;
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

// ---- the inline steps ------------------------------------------------------------

[[gnu::always_inline]] inline Status Reader::enter(const Token& t) {
    if (depth_ >= kMaxDepth) return fail("recursion limit exceeded", t.pos + 1);
    const std::uint64_t bit = std::uint64_t{1} << (depth_ % 64);
    if (t.kind == Tok::Arr) open_[depth_ / 64] |= bit;
    else open_[depth_ / 64] &= ~bit;
    ++depth_;
    return {};
}

[[gnu::always_inline]] inline Status Reader::next_element(bool first, bool& more) {
    const std::size_t n = text_.size();
    skip_ws();
    if (pos_ >= n) return fail("EOF while parsing a list", n);
    const char c = text_[pos_];
    if (!first && c == ',') {
        ++pos_;
        skip_ws();
        if (pos_ >= n) return fail("EOF while parsing a value", n);
        if (text_[pos_] == ']' || text_[pos_] == '}') return fail("trailing comma", pos_ + 1);
        more = true;
        return {};
    }
    if (c == ']') {
        last_end_ = ++pos_;
        --depth_;
        more = false;
        return {};
    }
    if (!first) return fail("expected `,` or `]`", pos_ + 1);
    more = true;
    return {};
}

[[gnu::always_inline]] inline Status Reader::next_member(bool first, bool& more) {
    const std::size_t n = text_.size();
    skip_ws();
    if (pos_ >= n) return fail("EOF while parsing an object", n);
    char c = text_[pos_];
    if (c == '}') {
        last_end_ = ++pos_;
        --depth_;
        more = false;
        return {};
    }
    if (!first) {
        if (c != ',') return fail("expected `,` or `}`", pos_ + 1);
        ++pos_;
        skip_ws();
        if (pos_ >= n) return fail("EOF while parsing a value", n);
        c = text_[pos_];
        if (c == '}') return fail("trailing comma", pos_ + 1);
    }
    if (c != '"') return fail("key must be a string", pos_ + 1);
    more = true;
    return {};
}

[[gnu::always_inline]] inline Status Reader::key(std::string_view& out) {
    if (const std::size_t close = plain_string_end(pos_); close != 0) {
        out = span(pos_ + 1, close - pos_ - 1);
        count_work(close + 1 - pos_);
        pos_ = close + 1;
        return {};
    }
    std::size_t end = 0;
    QUORENT_CHECK(lex_string(pos_, true, key_, out, end));
    pos_ = end;
    return {};
}

[[gnu::always_inline]] inline Status Reader::colon() {
    skip_ws();
    if (pos_ >= text_.size()) return fail("EOF while parsing an object", text_.size());
    if (text_[pos_] != ':') return fail("expected `:`", pos_ + 1);
    ++pos_;
    return {};
}

[[gnu::always_inline]] inline bool Reader::plain_string(std::string_view& out) noexcept {
    skip_ws();
    if (!at(pos_, '"')) return false;
    const std::size_t close = plain_string_end(pos_);
    if (close == 0) return false;
    out = span(pos_ + 1, close - pos_ - 1);
    count_work(close + 1 - pos_);
    last_end_ = pos_ = close + 1;
    return true;
}

[[gnu::always_inline]] inline bool Reader::number(Number& num, Status& status) {
    skip_ws();
    if (pos_ >= text_.size() || !(text_[pos_] == '-' || is_digit(text_[pos_]))) return false;
    NumberFault fault;
    if (!scan_number(text_, pos_, num, fault)) {
        status = fail(fault.message, fault.offset);
        return true;
    }
    count_work(num.end - pos_);
    last_end_ = pos_ = num.end;
    return true;
}

[[gnu::always_inline]] inline bool Reader::bracket(char open, Token& t) noexcept {
    skip_ws();
    if (!at(pos_, open)) return false;
    t.kind = open == '[' ? Tok::Arr : Tok::Obj;
    t.pos = pos_++;
    return true;
}

namespace detail {

// Field names are short: compared in place rather than through memcmp.
inline bool same_key(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Whether the text at `at` is `"key":`, the key without escapes.
inline bool quoted_key_at(std::string_view text, std::size_t at, std::string_view key) noexcept {
    const std::size_t k = key.size();
    if (text.size() - at < k + 3) return false;
    const char* p = text.data() + at;
    return p[k + 1] == '"' && p[k + 2] == ':' && same_key(std::string_view(p + 1, k), key);
}

}  // namespace detail

template <class F>
Status Reader::array_with(F&& element) {
    Token t;
    if (!bracket('[', t)) QUORENT_CHECK(lex(t));
    if (t.kind != Tok::Arr) return invalid_type(t, "a sequence");
    QUORENT_CHECK(enter(t));
    for (bool first = true;; first = false) {
        bool more = false;
        QUORENT_CHECK(next_element(first, more));
        if (!more) return {};
        count_work(1);
        QUORENT_CHECK(element());
    }
}

template <class F>
Status Reader::record_with(const Record& shape, F&& field) {
    Token t;
    if (!bracket('{', t)) QUORENT_CHECK(lex(t));
    const std::span<const Field> fields = shape.fields();
    const std::size_t nfields = fields.size();
    if (t.kind == Tok::Obj) {
        QUORENT_CHECK(enter(t));
        std::uint32_t seen = 0;    // a bit per field: make_record() bounds them by 32
        std::size_t expected = 0;  // the field after the last one read
        for (bool first = true;; first = false) {
            bool more = false;
            QUORENT_CHECK(next_member(first, more));
            if (!more) break;
            std::size_t i = expected;
            count_work(1);
            // Fields mostly come in their declared order, as `"key":`: the
            // expected one is matched in place, any other key looked up.
            if (!(i < nfields && !(seen & (1u << i)) && detail::quoted_key_at(text_, pos_, fields[i].key))) {
                std::string_view k;
                QUORENT_CHECK(key(k));
                i = 0;
                while (i < nfields && !detail::same_key(fields[i].key, k)) ++i;
                if (i < nfields && (seen & (1u << i))) {
                    // Noticed on reading the key, before its value, once the
                    // white space after the key is passed.
                    return fail("duplicate field `" + std::string(k) + "`", ws_end(pos_));
                }
                QUORENT_CHECK(colon());
                if (i == nfields) {
                    QUORENT_CHECK(skip());
                    continue;
                }
            } else {
                pos_ += fields[i].key.size() + 3;
            }
            seen |= 1u << i;
            expected = i + 1;
            QUORENT_CHECK(field(i));
        }
        for (std::size_t i = 0; i < nfields; ++i)
            if (fields[i].required && !(seen & (1u << i)))
                return fail("missing field `" + std::string(fields[i].key) + "`", pos_);
        return {};
    }
    if (t.kind == Tok::Arr) {
        QUORENT_CHECK(enter(t));
        last_end_ = t.pos + 1;
        for (std::size_t i = 0; i < nfields; ++i) {
            bool more = false;
            QUORENT_CHECK(next_element(i == 0, more));
            if (!more) {
                if (i < shape.min_elements()) {
                    std::string msg = "invalid length ";
                    write_u64(msg, i);
                    msg += ", expected struct ";
                    msg += shape.name();
                    msg += " with ";
                    write_u64(msg, nfields);
                    msg += nfields == 1 ? " element" : " elements";
                    return fail(std::move(msg), pos_);
                }
                return {};
            }
            count_work(1);
            QUORENT_CHECK(field(i));
        }
        // Every field is read: only the closing bracket may follow.
        const std::size_t p = ws_end(last_end_);
        if (at(p, ',')) {
            const std::size_t q = ws_end(p + 1);
            return fail(at(q, ']') ? "trailing comma" : "trailing characters", q + 1);
        }
        bool more = false;
        return next_element(false, more);
    }
    return invalid_type(t, "struct " + std::string(shape.name()));
}

}  // namespace quorent::json
