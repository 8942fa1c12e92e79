// The typed readers built on the tokenizer: strings, integers, arrays,
// objects member by member, and free-form values into the value model.
#include <cstring>

#include "json_reader.hpp"

namespace quorent::json {

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
        count_work(1 + k.size());
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
    count_work(len);
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

Status Reader::u64(std::uint64_t& out) { return read_u64(out, nullptr); }

Status Reader::optional_u64(std::optional<std::uint64_t>& out) {
    std::uint64_t u = 0;
    bool absent = false;
    QUORENT_CHECK(read_u64(u, &absent));
    if (absent) out.reset();
    else out = u;
    return {};
}

Status Reader::read_u64(std::uint64_t& out, bool* absent) {
    Number num;
    if (Status s; number(num, s)) {
        if (!s.ok()) return s;
        if (num.kind == Number::Kind::U64) {
            out = num.u;
            return {};
        }
        Token t;
        t.kind = Tok::Num;
        t.pos = pos_;
        t.num = num;
        return invalid_type(t, "u64");
    }
    Token t;
    QUORENT_CHECK(lex(t));
    if (t.kind == Tok::Null && absent != nullptr) {
        *absent = true;
        last_end_ = t.pos;
        return {};
    }
    return invalid_type(t, "u64");
}

Status Reader::end() {
    const std::size_t p = ws_end(last_end_);
    if (p < text_.size()) return fail("trailing characters", p + 1);
    return {};
}

Status Reader::value_rest(Token& t, Value& out) {
    switch (t.kind) {
        case Tok::Null: out = Value(); break;
        case Tok::True: out = Value(true); break;
        case Tok::False: out = Value(false); break;
        case Tok::Num:
            if (t.num.kind == Number::Kind::U64) out = Value(t.num.u);
            else if (t.num.kind == Number::Kind::I64) out = Value(t.num.i);
            else out = Value(double_value(text_, t.num));
            break;
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

Result<Value> parse(std::string_view text, ErrorKind kind) {
    return read_text<Value>(text, kind, [](Reader& r, Value& v) { return r.value(v); });
}

}  // namespace quorent::json
