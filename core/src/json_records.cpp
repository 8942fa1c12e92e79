// The readers built on the tokenizer: strings, integers, arrays, objects
// member by member, records by their field tables, and free-form values
// (as the value model or as canonical text).
#include "quorent/json.hpp"

#include "json_steps.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace quorent::json {

namespace {

std::size_t skip_ws_from(std::string_view text, std::size_t i) noexcept {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    return i;
}

// A number written without exponent and with at most 15 significant digits
// is the shortest text of the double it reads as (no two such texts read
// as the same double); where write_double would write that double without
// exponent too, its text is that number's, trailing zeros of the fraction
// dropped (one zero kept). Returns the length of that text, a prefix of
// `num`, in that case only, and 0 otherwise.
std::size_t short_decimal_length(std::string_view num) noexcept {
    const std::size_t n = num.size();
    const std::size_t int_start = num.front() == '-' ? 1 : 0;
    std::size_t point = int_start;
    while (point < n && num[point] >= '0' && num[point] <= '9') ++point;
    if (point >= n || num[point] != '.') return 0;
    for (std::size_t j = point + 1; j < n; ++j)
        if (num[j] == 'e' || num[j] == 'E') return 0;
    std::size_t end = n;  // the fraction's end, its trailing zeros dropped
    while (end > point + 1 && num[end - 1] == '0') --end;
    std::size_t significant = 0;
    if (point - int_start != 1 || num[int_start] != '0') {
        significant = (point - int_start) + (end - point - 1);
    } else {
        std::size_t lead = point + 1;  // the fraction's first digit other than zero
        while (lead < end && num[lead] == '0') ++lead;
        if (lead != end) {
            if (lead - point - 1 > 4) return 0;  // below 1e-5: exponent form
            significant = end - lead;
        }
    }
    if (significant > 15) return 0;
    // A fraction of zeros keeps its first one.
    return std::max(end, point + 2);
}

// The value of a fraction without exponent whose whole part is below 1e300,
// as the tokenizer converts it (too small a one is zero).
double fraction_value(std::string_view num) {
    const bool negative = num.front() == '-';
    double d = 0;
    if (std::from_chars(num.data() + (negative ? 1 : 0), num.data() + num.size(), d).ec != std::errc()) d = 0.0;
    return negative ? -d : d;
}

}  // namespace

[[gnu::always_inline]] inline bool Reader::plain_value(std::string_view& canon) {
    skip_ws();
    const std::size_t n = text_.size();
    if (pos_ >= n) return false;
    const char c = text_[pos_];
    std::size_t end = 0;
    std::size_t len = 0;
    if (c == '"') {
        const std::size_t close = plain_string_end(pos_);
        if (close == 0) return false;
        end = close + 1;
        len = end - pos_;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
        const bool negative = c == '-';
        std::size_t i = pos_ + (negative ? 1 : 0);
        const std::size_t int_start = i;
        while (i < n && text_[i] >= '0' && text_[i] <= '9') ++i;
        const std::size_t digits = i - int_start;
        if (digits == 0 || (text_[int_start] == '0' && digits > 1)) return false;
        if (i < n && (text_[i] == 'e' || text_[i] == 'E')) return false;
        if (i < n && text_[i] == '.') {
            const std::size_t frac_start = ++i;
            while (i < n && text_[i] >= '0' && text_[i] <= '9') ++i;
            if (i == frac_start || (i < n && (text_[i] == 'e' || text_[i] == 'E'))) return false;
            len = short_decimal_length(span(pos_, i - pos_));
            if (len == 0) return false;
        } else {
            // The integers the tokenizer reads as such (not "-0", a double),
            // whose text is canonical.
            if (digits > (negative ? 18 : 19) || (negative && text_[int_start] == '0')) return false;
            len = i - pos_;
        }
        end = i;
    } else {
        return false;
    }
    canon = span(pos_, len);
    pos_ = last_end_ = end;
    return true;
}

bool Reader::at_array() const noexcept {
    const std::size_t p = skip_ws_from(text_, pos_);
    return p < text_.size() && text_[p] == '[';
}

Status Reader::array(FunctionRef<Status()> element) { return array_with(element); }

Status Reader::members(bool& object, FunctionRef<Status(std::string_view key)> member) {
    Token t;
    QUORENT_CHECK(lex(t, false));
    object = t.kind == Tok::Obj;
    if (!object) return skip_rest(t);
    QUORENT_CHECK(enter(t));
    for (bool first = true;; first = false) {
        bool more = false;
        QUORENT_CHECK(next_member(first, more));
        if (!more) return {};
        std::string_view k;
        QUORENT_CHECK(key(k));
        QUORENT_CHECK(colon());
        // The callback may read further keys, which reuse the key buffer.
        const std::string name(k);
        QUORENT_CHECK(member(name));
    }
}

// ---- scalars ----------------------------------------------------------------------

Status Reader::string(std::string& out) {
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind != Tok::Str) return invalid_type(t, "a string");
    out.assign(t.str);
    last_end_ = t.pos;
    return {};
}

namespace {

void assign(std::optional<std::string>& out, const std::optional<std::string_view>& v) {
    if (v) out.emplace(*v);
    else out.reset();
}

}  // namespace

// The owned forms read as the borrowed ones do, then copy.
Status Reader::optional_string(std::optional<std::string>& out) {
    std::optional<std::string_view> v;
    QUORENT_CHECK(optional_view(v));
    assign(out, v);
    return {};
}

Status Reader::loose_string(std::optional<std::string>& out) {
    std::optional<std::string_view> v;
    QUORENT_CHECK(loose_view(v));
    assign(out, v);
    return {};
}

Status Reader::view(std::string_view& out) {
    if (plain_string(out)) return {};
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind != Tok::Str) return invalid_type(t, "a string");
    out = keep_view(t.str);
    last_end_ = t.pos;
    return {};
}

Status Reader::optional_view(std::optional<std::string_view>& out) {
    if (std::string_view v; plain_string(v)) {
        out = v;
        return {};
    }
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind == Tok::Null) {
        out.reset();
    } else if (t.kind == Tok::Str) {
        out = keep_view(t.str);
    } else {
        return invalid_type(t, "a string");
    }
    last_end_ = t.pos;
    return {};
}

Status Reader::loose_view(std::optional<std::string_view>& out) {
    if (std::string_view v; plain_string(v)) {
        out = v;
        return {};
    }
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind != Tok::Str) {
        out.reset();
        return skip_rest(t);
    }
    out = keep_view(t.str);
    last_end_ = t.pos;
    return {};
}

std::string_view Reader::keep_view(std::string_view str) {
    // Unescaped strings are views of the text; decoded ones live in scratch_
    // until the next string and are kept from there.
    if (str.data() != scratch_.data()) return str;
    return keep_copy(str);
}

char* Reader::keep_space(std::size_t len) {
    // Taken from the reader's own block of 256 bytes while it has room (a
    // call keeps little most often: no allocation then), then from blocks
    // allocated, the first of at least 256 bytes, the others of at least
    // 4 KB, grown only within their capacity (so that earlier views stay
    // valid): what is kept stays within about twice the text.
    if (len <= sizeof first_ - first_used_) {
        char* at = first_ + first_used_;
        first_used_ += len;
        return at;
    }
    if (kept_.empty() || kept_.front().capacity() - kept_.front().size() < len) {
        const std::size_t least = kept_.empty() ? 256 : 4096;
        kept_.emplace_front().reserve(std::max(len, least));
    }
    std::string& block = kept_.front();
    const std::size_t at = block.size();
    block.resize(at + len);
    return block.data() + at;
}

std::string_view Reader::keep_copy(std::string_view str) {
    char* at = keep_space(str.size());
    if (!str.empty()) std::memcpy(at, str.data(), str.size());
    return std::string_view(at, str.size());
}

Status Reader::u64(std::uint64_t& out) {
    if (short_u64(out)) return {};
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind != Tok::U64) return invalid_type(t, "u64");
    out = t.u;
    last_end_ = t.pos;
    return {};
}

Status Reader::optional_u64(std::optional<std::uint64_t>& out) {
    if (std::uint64_t u = 0; short_u64(u)) {
        out = u;
        return {};
    }
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind == Tok::Null) {
        out.reset();
    } else if (t.kind == Tok::U64) {
        out = t.u;
    } else {
        return invalid_type(t, "u64");
    }
    last_end_ = t.pos;
    return {};
}

Status Reader::end() {
    const std::size_t p = skip_ws_from(text_, last_end_);
    if (p < text_.size()) return fail("trailing characters", p + 1);
    return {};
}

Status Reader::record(const Record& shape, FunctionRef<Status(std::size_t)> field) {
    return record_with(shape, field);
}

Status Reader::value_rest(const Token& t, Value& out) {
    switch (t.kind) {
        case Tok::Null: out = Value(); break;
        case Tok::True: out = Value(true); break;
        case Tok::False: out = Value(false); break;
        case Tok::U64: out = Value(t.u); break;
        case Tok::I64: out = Value(t.i); break;
        case Tok::F64: out = Value(t.d); break;
        case Tok::Str: out = Value(std::string(t.str)); break;
        case Tok::Arr: {
            QUORENT_CHECK(enter(t));
            Array arr;
            for (bool first = true;; first = false) {
                bool more = false;
                QUORENT_CHECK(next_element(first, more));
                if (!more) break;
                Token e;
                QUORENT_CHECK(lex(e));
                QUORENT_CHECK(value_rest(e, arr.emplace_back()));
            }
            out = Value(std::move(arr));
            return {};
        }
        case Tok::Obj: {
            QUORENT_CHECK(enter(t));
            Object obj;
            for (bool first = true;; first = false) {
                bool more = false;
                QUORENT_CHECK(next_member(first, more));
                if (!more) break;
                std::string_view kv;
                QUORENT_CHECK(key(kv));
                std::string k(kv);
                QUORENT_CHECK(colon());
                Token e;
                QUORENT_CHECK(lex(e));
                Value v;
                QUORENT_CHECK(value_rest(e, v));
                obj.insert_or_assign(std::move(k), std::move(v));  // a repeated key keeps its last value
            }
            out = Value(std::move(obj));
            return {};
        }
    }
    last_end_ = t.pos;
    return {};
}

Status Reader::value(Value& out) {
    Token t;
    QUORENT_CHECK(lex(t));
    return value_rest(t, out);
}

Status Reader::canonical_rest(const Token& t, std::string& out) {
    switch (t.kind) {
        case Tok::Null: out += "null"; break;
        case Tok::True: out += "true"; break;
        case Tok::False: out += "false"; break;
        // An integer's text is already canonical.
        case Tok::U64:
        case Tok::I64: out.append(text_, t.begin, t.pos - t.begin); break;
        case Tok::F64: {
            const std::string_view num = text_.substr(t.begin, t.pos - t.begin);
            if (const std::size_t len = short_decimal_length(num); len != 0) out.append(num.data(), len);
            else write_double(out, t.deferred ? fraction_value(num) : t.d);
            break;
        }
        case Tok::Str:
            // A string without escapes is a view of the text, and its own
            // canonical text (the reader found no quote, backslash or
            // control character in it): copied with its quotes.
            if (const std::size_t at = offset_in_text(t.str); at != 0 && at < text_.size() && t.str.size() < text_.size() - at)
                out.append(t.str.data() - 1, t.str.size() + 2);
            else
                write_string(out, t.str);
            break;
        case Tok::Arr: {
            QUORENT_CHECK(enter(t));
            out += '[';
            for (bool first = true;; first = false) {
                bool more = false;
                QUORENT_CHECK(next_element(first, more));
                if (!more) break;
                if (!first) out += ',';
                if (std::string_view v; plain_value(v)) {
                    out += v;
                    continue;
                }
                Token e;
                QUORENT_CHECK(lex(e, true, true));
                QUORENT_CHECK(canonical_rest(e, out));
            }
            out += ']';
            return {};
        }
        case Tok::Obj: {
            QUORENT_CHECK(enter(t));
            bool written = false;
            QUORENT_CHECK(canonical_members_in_order(t, out, written));
            if (written) return {};
            // Members are gathered in one buffer, each as its raw key then
            // its canonical `"key":value`, and written in key order.
            struct Entry {
                std::size_t off, key_len, len;
            };
            std::string buf;
            std::vector<Entry> entries;
            for (bool first = true;; first = false) {
                bool more = false;
                QUORENT_CHECK(next_member(first, more));
                if (!more) break;
                std::string_view k;
                QUORENT_CHECK(key(k));
                entries.push_back(Entry{buf.size(), k.size(), 0});
                buf += k;
                write_string(buf, k);
                buf += ':';
                QUORENT_CHECK(colon());
                Token v;
                QUORENT_CHECK(lex(v, true, true));
                QUORENT_CHECK(canonical_rest(v, buf));
                entries.back().len = buf.size() - entries.back().off;
            }
            auto key_of = [&](const Entry& e) { return std::string_view(buf).substr(e.off, e.key_len); };
            std::stable_sort(entries.begin(), entries.end(),
                             [&](const Entry& a, const Entry& b) { return key_of(a) < key_of(b); });
            out += '{';
            bool first = true;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                // Of repeated keys the last one counts.
                if (i + 1 < entries.size() && key_of(entries[i]) == key_of(entries[i + 1])) continue;
                if (!first) out += ',';
                first = false;
                const Entry& e = entries[i];
                out.append(buf, e.off + e.key_len, e.len - e.key_len);
            }
            out += '}';
            return {};
        }
    }
    last_end_ = t.pos;
    return {};
}

Status Reader::canonical_members_in_order(const Token& t, std::string& out, bool& written) {
    // The common case: at most 16 members, keys without escapes, none
    // repeated. The members are written as they come (an unescaped key is
    // its own canonical text) and put in key order afterwards if need be.
    // For any other object nothing is written and the reader goes back to
    // its opening brace.
    struct Written {
        std::string_view key;
        std::size_t off, len;  // `"key":value` in out
    };
    Written m[16];
    std::size_t n = 0;
    bool sorted = true;
    const std::size_t mark = out.size();
    const std::size_t depth = depth_;
    auto rewind = [&] {
        out.resize(mark);
        pos_ = t.pos + 1;
        depth_ = depth;
        written = false;
        return Status{};
    };
    out += '{';
    for (bool first = true;; first = false) {
        bool more = false;
        QUORENT_CHECK(next_member(first, more));
        if (!more) break;
        std::string_view k;
        QUORENT_CHECK(key(k));
        if (k.data() == key_.data() || n == std::size(m)) return rewind();
        if (n != 0 && !(m[n - 1].key < k)) {
            if (m[n - 1].key == k) return rewind();
            sorted = false;
        }
        if (!first) out += ',';
        const std::size_t off = out.size();
        out += '"';
        out += k;
        out += "\":";
        QUORENT_CHECK(colon());
        if (std::string_view plain; plain_value(plain)) {
            out += plain;
        } else {
            Token v;
            QUORENT_CHECK(lex(v, true, true));
            QUORENT_CHECK(canonical_rest(v, out));
        }
        m[n++] = Written{k, off, out.size() - off};
    }
    if (!sorted) {
        std::sort(m, m + n, [](const Written& a, const Written& b) { return a.key < b.key; });
        for (std::size_t i = 0; i + 1 < n; ++i)
            if (m[i].key == m[i + 1].key) return rewind();
        // The members as written, copied aside (on the stack when small).
        const std::size_t len = out.size() - mark - 1;
        char small[256];
        std::string large;
        const char* members = small;
        if (len <= sizeof small) {
            std::memcpy(small, out.data() + mark + 1, len);
        } else {
            large.assign(out, mark + 1);
            members = large.data();
        }
        out.resize(mark + 1);
        for (std::size_t i = 0; i < n; ++i) {
            if (i != 0) out += ',';
            out.append(members + (m[i].off - mark - 1), m[i].len);
        }
    }
    out += '}';
    written = true;
    return {};
}

Status Reader::canonical_map(TextObject& out) {
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind != Tok::Obj) return invalid_type(t, "a map");
    QUORENT_CHECK(enter(t));
    out.clear();
    for (bool first = true;; first = false) {
        bool more = false;
        QUORENT_CHECK(next_member(first, more));
        if (!more) return {};
        std::string_view kv;
        QUORENT_CHECK(key(kv));
        std::string k(kv);
        QUORENT_CHECK(colon());
        Token v;
        QUORENT_CHECK(lex(v, true, true));
        std::string text;
        QUORENT_CHECK(canonical_rest(v, text));
        out.insert_or_assign(std::move(k), std::move(text));
    }
}

bool Reader::plain_object(std::string_view& out, bool& empty) {
    // At the opening brace, within the nesting limit.
    const std::size_t start = pos_;
    const std::size_t last_end = last_end_;
    auto rewind = [&] {
        pos_ = start;
        last_end_ = last_end;
        return false;
    };
    const std::size_t n = text_.size();
    std::size_t i = skip_ws_from(text_, start + 1);
    if (i < n && text_[i] == '}') {
        out = "{}";
        empty = true;
        pos_ = last_end_ = i + 1;
        return true;
    }
    struct Member {  // left uninitialised until used
        const char* key;
        std::size_t key_len;
        const char* value;
        std::size_t value_len;
        std::string_view k() const noexcept { return {key, key_len}; }
    };
    Member m[16];
    std::size_t count = 0;
    std::size_t len = 1;  // the braces and the commas between members
    for (;;) {
        if (i >= n || text_[i] != '"' || count == std::size(m)) return rewind();
        const std::size_t close = plain_string_end(i);
        if (close == 0) return rewind();
        const std::string_view key = span(i + 1, close - i - 1);
        i = skip_ws_from(text_, close + 1);
        if (i >= n || text_[i] != ':') return rewind();
        pos_ = i + 1;
        std::string_view value;
        if (!plain_value(value)) return rewind();
        m[count++] = Member{key.data(), key.size(), value.data(), value.size()};
        len += key.size() + 4 + value.size();  // "key":value,
        i = skip_ws_from(text_, pos_);
        if (i < n && text_[i] == '}') break;
        if (i >= n || text_[i] != ',') return rewind();
        i = skip_ws_from(text_, i + 1);
    }
    // In key order; a repeated key is left to the general reading.
    for (std::size_t a = 1; a < count; ++a) {
        const Member x = m[a];
        std::size_t b = a;
        for (; b > 0 && x.k() < m[b - 1].k(); --b) m[b] = m[b - 1];
        m[b] = x;
    }
    for (std::size_t a = 1; a < count; ++a)
        if (m[a].k() == m[a - 1].k()) return rewind();
    char* const text = keep_space(len);
    char* p = text;
    *p++ = '{';
    for (std::size_t a = 0; a < count; ++a) {
        if (a != 0) *p++ = ',';
        *p++ = '"';
        std::memcpy(p, m[a].key, m[a].key_len);
        p += m[a].key_len;
        *p++ = '"';
        *p++ = ':';
        std::memcpy(p, m[a].value, m[a].value_len);
        p += m[a].value_len;
    }
    *p++ = '}';
    out = std::string_view(text, len);
    empty = false;
    pos_ = last_end_ = i + 1;
    return true;
}

Status Reader::canonical_object(std::string_view& out, bool& empty) {
    skip_ws();
    if (pos_ < text_.size() && text_[pos_] == '{' && depth_ < kMaxDepth && plain_object(out, empty)) return {};
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind != Tok::Obj) return invalid_type(t, "a map");
    const std::size_t first = skip_ws_from(text_, t.pos + 1);
    empty = first < text_.size() && text_[first] == '}';
    canonical_.clear();
    QUORENT_CHECK(canonical_rest(t, canonical_));
    out = keep_copy(canonical_);
    return {};
}

void write_canonical(std::string& out, std::string_view text) {
    // The text has been read once: reading it again cannot fail.
    Reader r(text);
    Reader::Token t;
    if (r.lex(t, true, true).ok()) (void)r.canonical_rest(t, out);
}

Result<Value> parse(std::string_view text, ErrorKind kind) {
    return read_text<Value>(text, kind, [](Reader& r, Value& v) { return r.value(v); });
}

}  // namespace quorent::json
