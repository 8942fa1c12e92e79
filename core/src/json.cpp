#include "quorent/json.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

namespace quorent::json {

using detail::Ev;
using detail::Event;

// ---- the value model ----------------------------------------------------------

const Value* Value::find(std::string_view key) const {
    const Object* obj = as_object();
    if (obj == nullptr) return nullptr;
    auto it = obj->find(key);
    return it == obj->end() ? nullptr : &it->second;
}

const std::string* Value::find_string(std::string_view key) const {
    const Value* v = find(key);
    return v == nullptr ? nullptr : v->as_string();
}

bool Value::operator==(const Value& other) const { return v_ == other.v_; }

// ---- writing ------------------------------------------------------------------

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Bytes that a JSON string can hold as they are.
constexpr bool plain_byte(unsigned char c) noexcept { return c >= 0x20 && c != '"' && c != '\\'; }

}  // namespace

void write_string(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    std::size_t run = 0;  // start of the pending run of plain bytes
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (plain_byte(c)) continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default: {
                const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0x0F]};
                out.append(esc, sizeof esc);
            }
        }
    }
    out.append(text.data() + run, text.size() - run);
    out += '"';
}

namespace {

template <class Int>
void write_integer(std::string& out, Int value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

}  // namespace

void write_u64(std::string& out, std::uint64_t value) { write_integer(out, value); }
void write_i64(std::string& out, std::int64_t value) { write_integer(out, value); }

void write_double(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // The shortest round-trip digits and their exponent, from the scientific
    // form "[-]d[.ddd]e±XX".
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const char* p = buf;
    if (*p == '-') {
        out += '-';
        ++p;
    }
    char digits[24];
    std::size_t n = 0;
    for (; p < r.ptr && *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    int e10 = 0;
    if (p < r.ptr) {
        ++p;
        const bool neg = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        std::from_chars(p, r.ptr, e10);
        if (neg) e10 = -e10;
    }
    // value = 0.d1...dn × 10^k
    const int k = e10 + 1;
    const int len = static_cast<int>(n);
    if (0 <= k - len && k <= 16) {
        out.append(digits, n);
        out.append(static_cast<std::size_t>(k - len), '0');
        out += ".0";
    } else if (0 < k && k <= 16) {
        out.append(digits, static_cast<std::size_t>(k));
        out += '.';
        out.append(digits + k, n - static_cast<std::size_t>(k));
    } else if (-5 < k && k <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-k), '0');
        out.append(digits, n);
    } else {
        out += digits[0];
        if (n > 1) {
            out += '.';
            out.append(digits + 1, n - 1);
        }
        out += 'e';
        write_i64(out, k - 1);
    }
}

void write(std::string& out, const Value& value) {
    switch (value.type()) {
        case Value::Type::Null: out += "null"; return;
        case Value::Type::Bool: out += *value.as_bool() ? "true" : "false"; return;
        case Value::Type::U64: write_u64(out, *value.as_u64()); return;
        case Value::Type::I64: write_i64(out, *value.as_i64()); return;
        case Value::Type::Double: write_double(out, *value.as_double()); return;
        case Value::Type::String: write_string(out, *value.as_string()); return;
        case Value::Type::Array: {
            out += '[';
            bool first = true;
            for (const Value& v : *value.as_array()) {
                if (!first) out += ',';
                first = false;
                write(out, v);
            }
            out += ']';
            return;
        }
        case Value::Type::Object: {
            out += '{';
            bool first = true;
            for (const auto& [k, v] : *value.as_object()) {
                if (!first) out += ',';
                first = false;
                write_string(out, k);
                out += ':';
                write(out, v);
            }
            out += '}';
            return;
        }
    }
}

std::string to_string(const Value& value) {
    std::string out;
    write(out, value);
    return out;
}

// ---- reading: from text to events ----------------------------------------------

namespace {

constexpr std::size_t kMaxDepth = 127;

bool is_ws(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The first offset from i on that is not white space (or the end).
std::size_t skip_ws(std::string_view text, std::size_t i) noexcept {
    while (i < text.size() && is_ws(text[i])) ++i;
    return i;
}

// How far the parser has read: the next unread character, and whether it
// has asked for a character past the end.
struct ReadMark {
    const char* next;
    bool hit_end = false;
};

// An input iterator over the text that records how far the parser has read,
// so that each parser event can be placed in the text.
class TrackingIter {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackingIter(const char* p, ReadMark* mark) noexcept : p_(p), mark_(mark) {}
    reference operator*() const noexcept { return *p_; }
    TrackingIter& operator++() noexcept {
        mark_->next = ++p_;
        return *this;
    }
    TrackingIter operator++(int) noexcept {
        TrackingIter t = *this;
        ++*this;
        return t;
    }
    bool operator==(const TrackingIter& o) const noexcept { return p_ == o.p_; }
    // The parser's input asks this before each character it takes; equal
    // means it meets the end of the text.
    bool operator!=(const TrackingIter& o) const noexcept {
        if (p_ == o.p_) mark_->hit_end = true;
        return p_ != o.p_;
    }

private:
    const char* p_;
    ReadMark* mark_;
};

// What the parser says about a syntax fault, taken apart: the construct it
// was parsing ("value", "array", "object", "object key", "object
// separator"), whether the fault lies inside a token, and its text.
struct ParserFault {
    std::string_view context;
    bool lexical = false;
    std::string_view detail;
};

ParserFault dissect(const nlohmann::detail::exception& ex) {
    ParserFault f;
    const std::string_view what = ex.what();
    const std::size_t dash = what.find(" - ");
    const std::size_t wp = what.find("while parsing ");
    if (wp != std::string_view::npos && dash != std::string_view::npos && dash > wp + 14)
        f.context = what.substr(wp + 14, dash - (wp + 14));
    if (dash != std::string_view::npos) f.detail = what.substr(dash + 3);
    f.lexical = f.detail.find("; last read:") != std::string_view::npos;
    return f;
}

// The reader's words for a fault inside a token.
std::string lexical_message(std::string_view detail, bool literal_started) {
    if (detail.starts_with("invalid literal")) return literal_started ? "expected ident" : "expected value";
    if (detail.starts_with("invalid number")) return "invalid number";
    if (detail.starts_with("invalid string: control character"))
        return "control character (\\u0000-\\u001F) found while parsing a string";
    if (detail.starts_with("invalid string: surrogate") && detail.find("must follow") != std::string_view::npos)
        return "lone leading surrogate in hex escape";
    if (detail.starts_with("invalid string: surrogate")) return "unexpected end of hex escape";
    if (detail.starts_with("invalid string: ill-formed UTF-8")) return "invalid unicode code point";
    if (detail.starts_with("invalid string")) return "invalid escape";
    return "expected value";
}

// Receives the parser's events and records them, with their positions.
class Sink {
public:
    Sink(std::string_view text, const ReadMark* mark, std::vector<Event>& events, std::string& arena, bool& has_fault,
         std::string& fault_message, std::size_t& fault_offset)
        : text_(text),
          mark_(mark),
          events_(events),
          arena_(arena),
          has_fault_(has_fault),
          fault_message_(fault_message),
          fault_offset_(fault_offset) {}

    bool null() { return push(Ev::Null, consumed()); }
    bool boolean(bool b) { return push(b ? Ev::True : Ev::False, consumed()); }
    bool number_unsigned(std::uint64_t u) {
        if (u == 0 && leading_zero()) return false;
        Event& e = emplace(Ev::U64, number_end());
        e.u = u;
        return true;
    }
    bool number_integer(std::int64_t i) {
        // "-0" is the only integer token the parser reports as signed zero;
        // as it is not a negative integer, it is held as the double -0.0.
        if (i == 0) return !leading_zero() && number_float(-0.0, {});
        Event& e = emplace(Ev::I64, number_end());
        e.i = i;
        return true;
    }
    bool number_float(double d, const std::string&) {
        Event& e = emplace(Ev::F64, number_end());
        e.d = d;
        return true;
    }
    bool string(std::string& s) { return text_event(Ev::Str, s); }
    bool key(std::string& s) { return text_event(Ev::Key, s); }
    bool binary(nlohmann::json::binary_t&) { return false; }  // never produced by JSON text
    bool start_object(std::size_t) { return open(Ev::BeginObj); }
    bool start_array(std::size_t) { return open(Ev::BeginArr); }
    bool end_object() { return close(Ev::EndObj); }
    bool end_array() { return close(Ev::EndArr); }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& ex) {
        has_fault_ = true;
        describe_fault(position, ex);
        return false;
    }

private:
    // Sets the message and position of a syntax fault that the parser
    // found, `position` being the number of characters it had read (the end
    // of the text counting as one).
    void describe_fault(std::size_t position, const nlohmann::detail::exception& ex) {
        const std::size_t len = text_.size();
        fault_offset_ = std::min(position, len);
        if (ex.id == 406) {
            fault_message_ = "number out of range";
            return;
        }
        const ParserFault f = dissect(ex);
        const bool separator_due = f.context == "array" || f.context == "object" || f.context == "object separator" ||
                                   f.context == "object key";
        // The start of the token after the last event, which is where a
        // separator or a key was due.
        std::size_t start = len;
        if (!events_.empty()) {
            const Event& last = events_.back();
            const bool opened = last.kind == Ev::BeginObj || last.kind == Ev::BeginArr;
            start = skip_ws(text_, opened ? last.pos + 1 : last.pos);
            if (f.context == "object key" && !opened && start < len && text_[start] == ',')
                start = skip_ws(text_, start + 1);
        }
        // A malformed key is a fault inside its string.
        const bool bad_key = f.context == "object key" && start < len && text_[start] == '"' && f.lexical;
        if (separator_due && !bad_key) {
            if (start < len) {
                fault_offset_ = start + 1;
                if (f.context == "array")
                    fault_message_ = "expected `,` or `]`";
                else if (f.context == "object")
                    fault_message_ = "expected `,` or `}`";
                else if (f.context == "object separator")
                    fault_message_ = "expected `:`";
                else
                    fault_message_ = text_[start] == '}' ? "trailing comma" : "key must be a string";
                return;
            }
            fault_offset_ = len;
            const char before = last_non_ws();
            if (before == ',' || before == ':')
                fault_message_ = "EOF while parsing a value";
            else if (f.context == "array")
                fault_message_ = "EOF while parsing a list";
            else
                fault_message_ = "EOF while parsing an object";
            return;
        }
        if (position > len) {
            const char before = last_non_ws();
            if (f.lexical && f.detail.starts_with("invalid string"))
                fault_message_ = "EOF while parsing a string";
            else if (f.lexical || before == 0 || before == ',' || before == ':')
                fault_message_ = "EOF while parsing a value";
            else if (before == '[')
                fault_message_ = "EOF while parsing a list";
            else if (before == '{')
                fault_message_ = "EOF while parsing an object";
            else
                fault_message_ = "EOF while parsing a value";
            return;
        }
        if (!f.lexical) {
            // A value was due; a closing bracket right after a comma is a
            // trailing comma.
            const std::size_t at = position - 1;
            std::size_t prev = at;
            while (prev > 0 && is_ws(text_[prev - 1])) --prev;
            const bool trailing = (text_[at] == ']' || text_[at] == '}') && prev > 0 && text_[prev - 1] == ',';
            fault_message_ = trailing ? "trailing comma" : "expected value";
            return;
        }
        // Whether the offending character follows the first letters of a
        // literal (true, false, null).
        std::size_t word = position - 1;
        while (word > 0 && text_[word - 1] >= 'a' && text_[word - 1] <= 'z') --word;
        const bool literal_started =
            word + 1 < position && (text_[word] == 't' || text_[word] == 'f' || text_[word] == 'n');
        fault_message_ = lexical_message(f.detail, literal_started);
    }

    char last_non_ws() const noexcept {
        for (std::size_t i = text_.size(); i > 0; --i)
            if (!is_ws(text_[i - 1])) return text_[i - 1];
        return 0;
    }

    std::size_t consumed() const noexcept { return static_cast<std::size_t>(mark_->next - text_.data()); }
    // The parser reads one character past a number to see its end, or
    // meets the end of the text.
    std::size_t number_end() const noexcept { return mark_->hit_end ? consumed() : consumed() - 1; }
    // The parser reads "01" as 0 followed by 1; a JSON number has no
    // leading zero, so a digit right after a zero is refused here.
    bool leading_zero() {
        const std::size_t end = number_end();
        if (end >= text_.size() || text_[end] < '0' || text_[end] > '9') return false;
        has_fault_ = true;
        fault_message_ = "invalid number";
        fault_offset_ = end + 1;
        return true;
    }
    Event& emplace(Ev kind, std::size_t pos) {
        Event& e = events_.emplace_back();
        e.kind = kind;
        e.pos = pos;
        e.u = 0;
        return e;
    }
    bool push(Ev kind, std::size_t pos) {
        emplace(kind, pos);
        return true;
    }
    bool text_event(Ev kind, const std::string& s) {
        Event& e = emplace(kind, consumed());
        e.off = arena_.size();
        e.len = s.size();
        arena_ += s;
        return true;
    }
    bool open(Ev kind) {
        const std::size_t start = consumed() - 1;
        emplace(kind, start);
        if (++depth_ > kMaxDepth) {
            has_fault_ = true;
            fault_message_ = "recursion limit exceeded";
            fault_offset_ = start + 1;
            return false;
        }
        return true;
    }
    bool close(Ev kind) {
        --depth_;
        return push(kind, consumed());
    }

    std::string_view text_;
    const ReadMark* mark_;
    std::vector<Event>& events_;
    std::string& arena_;
    bool& has_fault_;
    std::string& fault_message_;
    std::size_t& fault_offset_;
    std::size_t depth_ = 0;
};

// A string as the invalid-type message quotes it: between double quotes,
// with quotes, backslashes and control characters escaped (\n, \t, \0, \u{1}).
std::string debug_quoted(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        unsigned cp = 0;
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            case '\0': out += "\\0"; continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            cp = c;
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(s[i + 1]) >= 0x80) {
            cp = static_cast<unsigned char>(s[++i]);  // C1 controls
        } else {
            out += static_cast<char>(c);
            continue;
        }
        char buf[8];
        auto r = std::to_chars(buf, buf + sizeof buf, cp, 16);
        out += "\\u{";
        out.append(buf, r.ptr);
        out += '}';
    }
    out += '"';
    return out;
}

}  // namespace

Reader::Reader(std::string_view text, ErrorKind kind) : text_(text), kind_(kind) {
    events_.reserve(text.size() / 8 + 2);
    if (!text.empty() && static_cast<unsigned char>(text[0]) == 0xEF) {
        // The parser would take a byte-order mark for white space; JSON text
        // has none.
        has_fault_ = true;
        fault_message_ = "expected value";
        fault_offset_ = 1;
        return;
    }
    ReadMark mark{text.data()};
    Sink sink(text, &mark, events_, arena_, has_fault_, fault_message_, fault_offset_);
    // Not strict: the parser stops after the value, and end() checks what
    // follows it once the typed reading is done.
    nlohmann::json::sax_parse(TrackingIter(text.data(), &mark), TrackingIter(text.data() + text.size(), &mark), &sink,
                              nlohmann::json::input_format_t::json, /*strict=*/false, /*ignore_comments=*/false);
}

CoreError Reader::fail(std::string message, std::size_t offset) const {
    // Line and column of the offset: lines counted by line feeds, the
    // column as the number of bytes before the offset on its line.
    offset = std::min(offset, text_.size());
    std::size_t line = 1;
    std::size_t line_start = 0;
    const char* base = text_.data();
    for (std::size_t i = 0; i < offset;) {
        const void* nl = std::memchr(base + i, '\n', offset - i);
        if (nl == nullptr) break;
        i = static_cast<std::size_t>(static_cast<const char*>(nl) - base) + 1;
        ++line;
        line_start = i;
    }
    message += " at line ";
    write_u64(message, line);
    message += " column ";
    write_u64(message, offset - line_start);
    return CoreError{kind_, std::move(message)};
}

CoreError Reader::pending() const {
    // The events end early only at a fault; a complete value never runs out.
    return fail(has_fault_ ? fault_message_ : std::string("EOF while parsing a value"), fault_offset_);
}

std::string Reader::describe_double(double d) {
    std::string out;
    write_double(out, d);
    return out;
}

CoreError Reader::invalid_type(const Event& found, std::string_view wanted) const {
    std::string msg = "invalid type: ";
    switch (found.kind) {
        case Ev::Null: msg += "null"; break;
        case Ev::True: msg += "boolean `true`"; break;
        case Ev::False: msg += "boolean `false`"; break;
        case Ev::U64:
            msg += "integer `";
            write_u64(msg, found.u);
            msg += '`';
            break;
        case Ev::I64:
            msg += "integer `";
            write_i64(msg, found.i);
            msg += '`';
            break;
        case Ev::F64:
            msg += "floating point `";
            write_double(msg, found.d);
            msg += '`';
            break;
        case Ev::Str:
        case Ev::Key:
            msg += "string ";
            msg += debug_quoted(str(found));
            break;
        case Ev::BeginArr:
        case Ev::EndArr: msg += "sequence"; break;
        case Ev::BeginObj:
        case Ev::EndObj: msg += "map"; break;
    }
    msg += ", expected ";
    msg += wanted;
    // A scalar is reported just past it; an array or object where it opens.
    return fail(std::move(msg), found.pos);
}

CoreError Reader::invalid_value(std::string message) const {
    // Reported once the record around the value has looked at what follows
    // it: white space, and a closing bracket or, in an array, a comma with
    // the white space after it.
    std::size_t p = skip_ws(text_, last_end_);
    if (!open_.empty() && p < text_.size()) {
        if (open_.back()) {
            if (text_[p] == ']')
                ++p;
            else if (text_[p] == ',')
                p = skip_ws(text_, p + 1);
        } else if (text_[p] == '}') {
            ++p;
        }
    }
    return fail(std::move(message), p);
}

Result<const Event*> Reader::take(Ev kind, std::string_view wanted) {
    const Event* e = peek();
    if (e == nullptr) return pending();
    if (e->kind != kind) return invalid_type(*e, wanted);
    last_end_ = e->pos;
    ++next_;
    return e;
}

bool Reader::take_null() noexcept {
    const Event* e = peek();
    if (e == nullptr || e->kind != Ev::Null) return false;
    last_end_ = e->pos;
    ++next_;
    return true;
}

Status Reader::string(std::string& out) {
    QUORENT_TRY(const Event* e, take(Ev::Str, "a string"));
    out.assign(str(*e));
    return {};
}

Status Reader::optional_string(std::optional<std::string>& out) {
    if (take_null()) {
        out.reset();
        return {};
    }
    std::string s;
    QUORENT_CHECK(string(s));
    out = std::move(s);
    return {};
}

Status Reader::u64(std::uint64_t& out) {
    QUORENT_TRY(const Event* e, take(Ev::U64, "u64"));
    out = e->u;
    return {};
}

Status Reader::optional_u64(std::optional<std::uint64_t>& out) {
    if (take_null()) {
        out.reset();
        return {};
    }
    std::uint64_t u = 0;
    QUORENT_CHECK(u64(u));
    out = u;
    return {};
}

Status Reader::value_at(Value& out) {
    const Event* e = peek();
    if (e == nullptr) return pending();
    ++next_;
    switch (e->kind) {
        case Ev::Null: out = Value(); break;
        case Ev::True: out = Value(true); break;
        case Ev::False: out = Value(false); break;
        case Ev::U64: out = Value(e->u); break;
        case Ev::I64: out = Value(e->i); break;
        case Ev::F64: out = Value(e->d); break;
        case Ev::Str: out = Value(std::string(str(*e))); break;
        case Ev::BeginArr: {
            Array arr;
            for (;;) {
                const Event* n = peek();
                if (n == nullptr) return pending();
                if (n->kind == Ev::EndArr) {
                    e = n;
                    ++next_;
                    break;
                }
                QUORENT_CHECK(value_at(arr.emplace_back()));
            }
            out = Value(std::move(arr));
            break;
        }
        case Ev::BeginObj: {
            Object obj;
            for (;;) {
                const Event* n = peek();
                if (n == nullptr) return pending();
                if (n->kind == Ev::EndObj) {
                    e = n;
                    ++next_;
                    break;
                }
                std::string key(str(*n));
                ++next_;
                Value v;
                QUORENT_CHECK(value_at(v));
                obj.insert_or_assign(std::move(key), std::move(v));  // a repeated key keeps its last value
            }
            out = Value(std::move(obj));
            break;
        }
        case Ev::Key:
        case Ev::EndObj:
        case Ev::EndArr:
            // The parser never produces these where a value starts.
            return pending();
    }
    last_end_ = e->pos;
    return {};
}

Status Reader::value(Value& out) { return value_at(out); }

Status Reader::map(Object& out) {
    const Event* e = peek();
    if (e == nullptr) return pending();
    if (e->kind != Ev::BeginObj) return invalid_type(*e, "a map");
    Value v;
    QUORENT_CHECK(value_at(v));
    out = std::move(*v.as_object());
    return {};
}

Status Reader::skip() {
    std::size_t depth = 0;
    do {
        const Event* e = peek();
        if (e == nullptr) return pending();
        if (e->kind == Ev::BeginArr || e->kind == Ev::BeginObj) ++depth;
        if (e->kind == Ev::EndArr || e->kind == Ev::EndObj) --depth;
        last_end_ = e->pos;
        ++next_;
    } while (depth > 0);
    return {};
}

Status Reader::array(FunctionRef<Status()> element) {
    const Event* e = peek();
    if (e == nullptr) return pending();
    if (e->kind != Ev::BeginArr) return invalid_type(*e, "a sequence");
    ++next_;
    open_.push_back(true);
    for (;;) {
        e = peek();
        if (e == nullptr) return pending();
        if (e->kind == Ev::EndArr) break;
        QUORENT_CHECK(element());
    }
    last_end_ = e->pos;
    ++next_;
    open_.pop_back();
    return {};
}

Status Reader::record(const Record& shape, FunctionRef<Status(std::size_t)> field) {
    const Event* e = peek();
    if (e == nullptr) return pending();
    const std::size_t nfields = shape.fields.size();
    if (e->kind == Ev::BeginObj) {
        ++next_;
        open_.push_back(false);
        std::uint32_t seen = 0;
        for (;;) {
            e = peek();
            if (e == nullptr) return pending();
            if (e->kind == Ev::EndObj) break;
            const std::string_view key = str(*e);
            const std::size_t key_end = e->pos;
            ++next_;
            std::size_t i = 0;
            while (i < nfields && shape.fields[i].key != key) ++i;
            if (i == nfields) {
                QUORENT_CHECK(skip());
                continue;
            }
            if (seen & (1u << i)) {
                // Noticed on reading the key, before its value, once the
                // white space after the key is passed.
                return fail("duplicate field `" + std::string(key) + "`", skip_ws(text_, key_end));
            }
            seen |= 1u << i;
            QUORENT_CHECK(field(i));
        }
        last_end_ = e->pos;
        ++next_;
        open_.pop_back();
        for (std::size_t i = 0; i < nfields; ++i)
            if (shape.fields[i].required && !(seen & (1u << i)))
                return fail("missing field `" + std::string(shape.fields[i].key) + "`", e->pos);
        return {};
    }
    if (e->kind == Ev::BeginArr) {
        ++next_;
        open_.push_back(true);
        last_end_ = e->pos + 1;
        for (std::size_t i = 0; i < nfields; ++i) {
            e = peek();
            if (e == nullptr) return pending();
            if (e->kind == Ev::EndArr) {
                if (i < shape.min_elements) {
                    std::string msg = "invalid length ";
                    write_u64(msg, i);
                    msg += ", expected struct ";
                    msg += shape.name;
                    msg += " with ";
                    write_u64(msg, nfields);
                    msg += nfields == 1 ? " element" : " elements";
                    return fail(std::move(msg), e->pos);
                }
                break;
            }
            QUORENT_CHECK(field(i));
        }
        // Every field is read: only the closing bracket may follow.
        const std::size_t p = skip_ws(text_, last_end_);
        if (p < text_.size() && text_[p] == ',') {
            const std::size_t q = skip_ws(text_, p + 1);
            const bool trailing_comma = q < text_.size() && text_[q] == ']';
            return fail(trailing_comma ? "trailing comma" : "trailing characters", q + 1);
        }
        e = peek();
        if (e == nullptr) return pending();
        last_end_ = e->pos;
        ++next_;
        open_.pop_back();
        return {};
    }
    return invalid_type(*e, "struct " + std::string(shape.name));
}

Status Reader::end() {
    const std::size_t p = skip_ws(text_, last_end_);
    if (p < text_.size()) return fail("trailing characters", p + 1);
    return {};
}

Result<Value> parse(std::string_view text, ErrorKind kind) {
    return read_text<Value>(text, kind, [](Reader& r, Value& v) { return r.value(v); });
}

}  // namespace quorent::json
