// The canonical writer of free-form JSON values, linear in the text's size.
//
// One pass reads the value and writes it, in reading order, into canon_:
// every scalar in its canonical text, every object's members as
// `"key":value` separated by commas. Most objects need nothing more: their
// members came in key order, each key once. An object whose members came
// otherwise is recorded when it closes (CanonObject): its members are put in
// key order (stably, in time linear in their keys' length) and of a repeated
// key only the last is kept; nothing is moved. Writing then copies canon_ to
// its destination once, taking each recorded object's members in their
// order. Every byte of the text is read once, written once into canon_ and
// copied once; members dropped as repeated are never copied.
#include <cstring>

#include "json_reader.hpp"

namespace quorent::json {

namespace {

// The keys from `depth` on.
[[gnu::always_inline]] inline int compare_from(const char* a, std::size_t alen, const char* b, std::size_t blen,
                                               std::size_t depth) noexcept {
    const std::size_t n = std::min(alen, blen) - depth;
    count_work(1 + n);
    // Keys mostly differ in their first byte compared.
    if (n != 0 && a[depth] != b[depth])
        return static_cast<unsigned char>(a[depth]) < static_cast<unsigned char>(b[depth]) ? -1 : 1;
    if (const int c = n == 0 ? 0 : std::memcmp(a + depth, b + depth, n); c != 0) return c;
    return alen < blen ? -1 : (alen > blen ? 1 : 0);
}

}  // namespace

// ---- reading into canon_ ------------------------------------------------------------

// Strings and numbers, the values of most objects, are taken here, inline
// in the loops of objects and arrays; anything else in canonical_read_rest().
[[gnu::always_inline]] inline Status Reader::canonical_read() {
    skip_ws();
    if (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (c == '"') {
            // A string without escapes is its own canonical text (it holds
            // no quote, backslash or control character, which is all that is
            // escaped).
            if (const std::size_t close = plain_string_end(pos_); close != 0) {
                count_work(1 + close + 1 - pos_);
                canon_put(span(pos_, close + 1 - pos_));
                last_end_ = pos_ = close + 1;
                return {};
            }
        } else if (c == '-' || is_digit(c)) {
            Number num;
            NumberFault fault;
            if (!scan_number(text_, pos_, num, fault)) return fail(fault.message, fault.offset);
            count_work(1 + 2 * (num.end - pos_) + 32);
            if (num.canonical != 0) {
                canon_put(span(pos_, num.canonical));
            } else {
                canon_escaped_.clear();
                write_double(canon_escaped_, double_value(text_, num));
                canon_put(canon_escaped_);
            }
            last_end_ = pos_ = num.end;
            return {};
        }
    }
    return canonical_read_rest();
}

Status Reader::canonical_read_rest() {
    const std::size_t n = text_.size();
    if (pos_ >= n) return fail("EOF while parsing a value", n);
    count_work(1);
    const char c = text_[pos_];
    if (c == '"') {
        // Escaped from its decoded text.
        std::string_view decoded;
        std::size_t end = 0;
        QUORENT_CHECK(lex_string(pos_, true, scratch_, decoded, end));
        if (decoded.data() == scratch_.data()) {
            canon_escaped_.clear();
            write_string(canon_escaped_, decoded);
            canon_put(canon_escaped_);
        } else {
            canon_put(span(pos_, end - pos_));
        }
        count_work(2 * (end - pos_));
        last_end_ = pos_ = end;
        return {};
    }
    if (c == '[') {
        Token t;
        t.kind = Tok::Arr;
        t.pos = pos_++;
        QUORENT_CHECK(enter(t));
        canon_put('[');
        for (bool first = true;; first = false) {
            bool more = false;
            QUORENT_CHECK(next_element(first, more));
            if (!more) break;
            if (!first) canon_put(',');
            QUORENT_CHECK(canonical_read());
        }
        canon_put(']');
        return {};
    }
    if (c == '{') return canonical_read_object();
    Token t;
    QUORENT_CHECK(lex(t));  // a literal, or the fault
    const std::size_t len = t.kind == Tok::False ? 5 : 4;
    canon_put(span(pos_ - len, len));
    last_end_ = t.pos;
    return {};
}

Status Reader::canonical_read_object() {
    Token t;
    t.kind = Tok::Obj;
    t.pos = pos_++;
    QUORENT_CHECK(enter(t));
    const std::size_t first_member = canon_open_.size();
    const std::size_t begin = canon_.size();
    const std::size_t nested = canon_objects_.size();
    bool ordered = true;  // keys strictly increasing so far
    canon_put('{');
    for (bool first = true;; first = false) {
        bool more = false;
        QUORENT_CHECK(next_member(first, more));
        if (!more) break;
        if (!first) canon_put(',');
        count_work(1);
        CanonMember m;
        m.begin = canon_.size();
        m.nested = canon_objects_.size();
        m.shrink = canon_shrink_;
        if (const std::size_t close = plain_string_end(pos_); close != 0) {
            m.key = text_.data() + pos_ + 1;
            m.key_len = close - pos_ - 1;
            canon_put(span(pos_, close + 1 - pos_));
            count_work(close + 1 - pos_);
            pos_ = close + 1;
        } else {
            std::string_view k;
            std::size_t end = 0;
            QUORENT_CHECK(lex_string(pos_, true, key_, k, end));
            if (k.data() == key_.data()) {
                k = keep_copy(k);
                canon_escaped_.clear();
                write_string(canon_escaped_, k);
                canon_put(canon_escaped_);
            } else {
                canon_put(span(pos_, end - pos_));
            }
            m.key = k.data();
            m.key_len = k.size();
            count_work(2 * (end - pos_));
            pos_ = end;
        }
        QUORENT_CHECK(colon());
        canon_put(':');
        QUORENT_CHECK(canonical_read());
        m.end = canon_.size();
        m.nested_end = canon_objects_.size();
        m.shrink = canon_shrink_ - m.shrink;
        if (ordered && canon_open_.size() > first_member) {
            const CanonMember& prev = canon_open_.back();
            ordered = compare_from(prev.key, prev.key_len, m.key, m.key_len, 0) < 0;
        }
        canon_open_.push_back(m);
    }
    canon_put('}');
    if (ordered) canon_open_.shrink_to(first_member);
    else canonical_close_object(first_member, begin, nested);
    return {};
}

void Reader::canonical_close_object(std::size_t first_member, std::size_t begin, std::size_t nested) {
    CanonMember* m = canon_open_.data() + first_member;
    const std::size_t n = canon_open_.size() - first_member;
    sort_members(m, n);
    CanonObject obj{begin, canon_.size(), canon_kept_.size(), 0, nested};
    for (std::size_t i = 0; i < n; ++i) {
        // Of a repeated key the last one read is kept (the sort is stable);
        // the others leave their text and their comma out.
        if (i + 1 < n && m[i].key_len == m[i + 1].key_len && std::memcmp(m[i].key, m[i + 1].key, m[i].key_len) == 0) {
            canon_shrink_ += (m[i].end - m[i].begin) - m[i].shrink + 1;
            continue;
        }
        canon_kept_.push_back(m[i]);
    }
    obj.count = canon_kept_.size() - obj.first;
    canon_objects_.push_back(obj);
    canon_open_.shrink_to(first_member);
}

// Stable, by the keys' bytes: insertion sort for small groups, most
// significant byte first radix sort for larger ones. Every step reads a byte
// of a key that has not been read at that depth before, or is bounded by a
// constant per such byte: linear in the keys' total length.
void Reader::sort_members(CanonMember* m, std::size_t n) {
    constexpr std::size_t kSmall = 16;
    auto insertion = [](CanonMember* a, std::size_t len, std::size_t depth) {
        for (std::size_t i = 1; i < len; ++i) {
            const CanonMember x = a[i];
            std::size_t j = i;
            for (; j > 0 && compare_from(x.key, x.key_len, a[j - 1].key, a[j - 1].key_len, depth) < 0; --j)
                a[j] = a[j - 1];
            a[j] = x;
        }
    };
    if (n <= kSmall) {
        insertion(m, n, 0);
        return;
    }
    // The bucket of a key at a depth: 0 when it ends there, 1 + its byte.
    auto bucket = [](const CanonMember& x, std::size_t depth) -> std::size_t {
        return depth < x.key_len ? 1 + static_cast<unsigned char>(x.key[depth]) : 0;
    };
    canon_groups_.assign(1, SortGroup{0, n, 0});
    while (!canon_groups_.empty()) {
        SortGroup g = canon_groups_.back();
        canon_groups_.pop_back();
        CanonMember* a = m + g.lo;
        const std::size_t len = g.hi - g.lo;
        if (len <= kSmall) {
            insertion(a, len, g.depth);
            continue;
        }
        // A byte all keys share is passed without counting.
        const std::size_t b0 = bucket(a[0], g.depth);
        count_work(len);
        std::size_t i = 1;
        while (i < len && bucket(a[i], g.depth) == b0) ++i;
        if (i == len) {
            if (b0 != 0) canon_groups_.push_back(SortGroup{g.lo, g.hi, g.depth + 1});
            continue;
        }
        count_work(257 + 2 * len);
        std::size_t count[257] = {};
        for (i = 0; i < len; ++i) ++count[bucket(a[i], g.depth)];
        std::size_t start[257];
        for (std::size_t b = 0, sum = 0; b < 257; ++b) {
            start[b] = sum;
            sum += count[b];
        }
        canon_tmp_.resize(len);
        std::size_t next[257];
        std::memcpy(next, start, sizeof next);
        for (i = 0; i < len; ++i) canon_tmp_[next[bucket(a[i], g.depth)]++] = a[i];
        std::copy(canon_tmp_.begin(), canon_tmp_.begin() + static_cast<std::ptrdiff_t>(len), a);
        // Keys that end here are equal: their order stays.
        for (std::size_t b = 1; b < 257; ++b)
            if (count[b] > 1) canon_groups_.push_back(SortGroup{g.lo + start[b], g.lo + start[b] + count[b], g.depth + 1});
    }
}

// ---- writing canon_ in order ---------------------------------------------------------

// canon_[begin, end), with the recorded objects in it written in their
// order. Those objects are the entries [nested, nested_end) of
// canon_objects_, in the order they closed: each follows its own recorded
// descendants, so the outermost ones are found from the last one back.
char* Reader::emit_range(char* out, std::size_t begin, std::size_t end, std::size_t nested, std::size_t nested_end) {
    const std::size_t base = canon_stack_.size();
    for (std::size_t c = nested_end; c > nested;) {
        --c;
        canon_stack_.push_back(c);
        c = canon_objects_[c].nested;
    }
    std::size_t at = begin;
    while (canon_stack_.size() > base) {
        const std::size_t object = canon_stack_.back();
        canon_stack_.pop_back();
        const CanonObject& o = canon_objects_[object];
        count_work(1 + o.begin - at);
        std::memcpy(out, canon_.data() + at, o.begin - at);
        out = emit_object(out + (o.begin - at), object);
        at = o.end;
    }
    count_work(end - at);
    std::memcpy(out, canon_.data() + at, end - at);
    return out + (end - at);
}

char* Reader::emit_object(char* out, std::size_t object) {
    const CanonObject o = canon_objects_[object];
    *out++ = '{';
    for (std::size_t i = 0; i < o.count; ++i) {
        if (i != 0) *out++ = ',';
        const CanonMember& m = canon_kept_[o.first + i];
        if (m.nested == m.nested_end) {
            count_work(m.end - m.begin);
            std::memcpy(out, canon_.data() + m.begin, m.end - m.begin);
            out += m.end - m.begin;
        } else {
            out = emit_range(out, m.begin, m.end, m.nested, m.nested_end);
        }
    }
    *out++ = '}';
    return out;
}

void Reader::canonical_emit(char* out) {
    if (canon_objects_.empty()) {
        count_work(canon_.size());
        if (!canon_.empty()) std::memcpy(out, canon_.data(), canon_.size());
        return;
    }
    emit_range(out, 0, canon_.size(), 0, canon_objects_.size());
}

void Reader::canonical_reset() noexcept {
    canon_.clear();
    canon_shrink_ = 0;
    canon_open_.clear();
    canon_kept_.clear();
    canon_objects_.clear();
}

// ---- the readers ----------------------------------------------------------------------

Status Reader::canonical(std::string& out) {
    canonical_reset();
    QUORENT_CHECK(canonical_read());
    const std::size_t at = out.size();
    out.resize(at + canonical_size());
    canonical_emit(out.data() + at);
    return {};
}

Status Reader::canonical_object(std::string_view& out, bool& empty) {
    skip_ws();
    if (!at(pos_, '{')) {
        Token t;
        QUORENT_CHECK(lex(t));
        return invalid_type(t, "a map");
    }
    canonical_reset();
    QUORENT_CHECK(canonical_read_object());
    const std::size_t len = canonical_size();
    char* kept = keep_space(len);
    canonical_emit(kept);
    out = std::string_view(kept, len);
    empty = len == 2;
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
        std::string text;
        QUORENT_CHECK(canonical(text));
        out.insert_or_assign(std::move(k), std::move(text));
    }
}

Result<std::string> canonical_text(std::string_view text, ErrorKind kind) {
    return read_text<std::string>(text, kind, [](Reader& r, std::string& out) { return r.canonical(out); });
}

}  // namespace quorent::json
