// The tokenizer's small steps (white space, the separators of arrays and
// objects, plain keys, entering a container), defined here so that the
// tokenizer and the readers built on it (json_reader.cpp, json_records.cpp)
// both have them inline: they run once or more per token. Their faults go
// through the out-of-line fail(). Also here: the array and record loops for
// callables of known type (array_with, record_with), which the capability
// readers use with a switch over their fields.
#pragma once

#include <algorithm>

#include "json_scan.hpp"
#include "quorent/json.hpp"

namespace quorent::json {

inline constexpr std::size_t kMaxDepth = 127;

inline constexpr bool is_json_ws(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

[[gnu::always_inline]] inline void Reader::skip_ws() noexcept {
    // Every white-space byte is at most a space.
    const std::size_t n = text_.size();
    while (pos_ < n && static_cast<unsigned char>(text_[pos_]) <= ' ' && is_json_ws(text_[pos_])) ++pos_;
}

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
    char c = text_[pos_];
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

[[gnu::always_inline]] inline std::size_t Reader::plain_string_end(std::size_t start) const noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(text_.data());
    const std::size_t i = scan::plain_run(s, start + 1, text_.size(), true);
    return i < text_.size() && s[i] == '"' ? i : 0;
}

[[gnu::always_inline]] inline Status Reader::key(std::string_view& out) {
    if (const std::size_t close = plain_string_end(pos_); close != 0) {
        out = span(pos_ + 1, close - pos_ - 1);
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

// Printable ASCII without escapes, the common case, is taken directly.
[[gnu::always_inline]] inline bool Reader::plain_string(std::string_view& out) {
    skip_ws();
    if (pos_ >= text_.size() || text_[pos_] != '"') return false;
    const std::size_t close = plain_string_end(pos_);
    if (close == 0) return false;
    out = span(pos_ + 1, close - pos_ - 1);
    last_end_ = pos_ = close + 1;
    return true;
}

[[gnu::always_inline]] inline bool Reader::short_u64(std::uint64_t& out) noexcept {
    skip_ws();
    const std::size_t n = text_.size();
    const std::size_t start = pos_;
    const std::size_t limit = std::min(n, start + 19);
    std::size_t i = start;
    std::uint64_t u = 0;
    for (; i < limit && text_[i] >= '0' && text_[i] <= '9'; ++i) u = u * 10 + static_cast<unsigned>(text_[i] - '0');
    if (i == start || (text_[start] == '0' && i - start > 1)) return false;
    if (i < n) {
        const char c = text_[i];
        if ((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E') return false;
    }
    out = u;
    last_end_ = pos_ = i;
    return true;
}

namespace detail {

// The first offset from i on that is not white space.
inline std::size_t ws_end(std::string_view text, std::size_t i) noexcept {
    while (i < text.size() && is_json_ws(text[i])) ++i;
    return i;
}

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

[[gnu::always_inline]] inline bool Reader::bracket(char open, Token& t) noexcept {
    skip_ws();
    if (pos_ >= text_.size() || text_[pos_] != open) return false;
    t.kind = open == '[' ? Tok::Arr : Tok::Obj;
    t.pos = pos_++;
    return true;
}

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
        QUORENT_CHECK(element());
    }
}

template <class F>
Status Reader::record_with(const Record& shape, F&& field) {
    Token t;
    if (!bracket('{', t)) QUORENT_CHECK(lex(t));
    const std::size_t nfields = shape.fields.size();
    if (t.kind == Tok::Obj) {
        QUORENT_CHECK(enter(t));
        std::uint32_t seen = 0;
        std::size_t expected = 0;  // the field after the last one read
        for (bool first = true;; first = false) {
            bool more = false;
            QUORENT_CHECK(next_member(first, more));
            if (!more) break;
            std::size_t i = expected;
            // Fields mostly come in their declared order, as `"key":`: the
            // expected one is matched in place, any other key looked up.
            if (!(i < nfields && !(seen & (1u << i)) && detail::quoted_key_at(text_, pos_, shape.fields[i].key))) {
                std::string_view k;
                QUORENT_CHECK(key(k));
                i = 0;
                while (i < nfields && !detail::same_key(shape.fields[i].key, k)) ++i;
                if (i < nfields && (seen & (1u << i))) {
                    // Noticed on reading the key, before its value, once the
                    // white space after the key is passed.
                    return fail("duplicate field `" + std::string(k) + "`", detail::ws_end(text_, pos_));
                }
                QUORENT_CHECK(colon());
                if (i == nfields) {
                    QUORENT_CHECK(skip());
                    continue;
                }
            } else {
                pos_ += shape.fields[i].key.size() + 3;
            }
            seen |= 1u << i;
            expected = i + 1;
            QUORENT_CHECK(field(i));
        }
        for (std::size_t i = 0; i < nfields; ++i)
            if (shape.fields[i].required && !(seen & (1u << i)))
                return fail("missing field `" + std::string(shape.fields[i].key) + "`", pos_);
        return {};
    }
    if (t.kind == Tok::Arr) {
        QUORENT_CHECK(enter(t));
        last_end_ = t.pos + 1;
        for (std::size_t i = 0; i < nfields; ++i) {
            bool more = false;
            QUORENT_CHECK(next_element(i == 0, more));
            if (!more) {
                if (i < shape.min_elements) {
                    std::string msg = "invalid length ";
                    write_u64(msg, i);
                    msg += ", expected struct ";
                    msg += shape.name;
                    msg += " with ";
                    write_u64(msg, nfields);
                    msg += nfields == 1 ? " element" : " elements";
                    return fail(std::move(msg), pos_);
                }
                return {};
            }
            QUORENT_CHECK(field(i));
        }
        // Every field is read: only the closing bracket may follow.
        const std::size_t p = detail::ws_end(text_, last_end_);
        if (p < text_.size() && text_[p] == ',') {
            const std::size_t q = detail::ws_end(text_, p + 1);
            const bool trailing_comma = q < text_.size() && text_[q] == ']';
            return fail(trailing_comma ? "trailing comma" : "trailing characters", q + 1);
        }
        bool more = false;
        return next_element(false, more);
    }
    return invalid_type(t, "struct " + std::string(shape.name));
}

}  // namespace quorent::json
