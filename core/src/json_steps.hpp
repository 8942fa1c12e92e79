// The tokenizer's small steps (white space, the separators of arrays and
// objects, plain keys, entering a container), defined here so that the
// tokenizer and the readers built on it (json_reader.cpp, json_records.cpp)
// both have them inline: they run once or more per token. Their faults go
// through the out-of-line fail().
#pragma once

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
        out = text_.substr(pos_ + 1, close - pos_ - 1);
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

}  // namespace quorent::json
