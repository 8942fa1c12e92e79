// The tokenizer under the typed readers: white space, literals, numbers,
// strings (escapes resolved, UTF-8 checked), the separators of arrays and
// objects, skipping, and the messages and positions of every fault.
//
// Positions are byte offsets turned into " at line L column C" by fail(). A
// fault inside the text is placed just past the offending byte; a text that
// ends too early is placed at its end.
#include <charconv>
#include <cstring>

#include "json_reader.hpp"
#include "unicode.hpp"

namespace quorent::json {

namespace {

int hex_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

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
        out.append(buf, static_cast<std::size_t>(r.ptr - buf));
        out += '}';
    }
    out += '"';
    return out;
}

}  // namespace

// ---- faults ---------------------------------------------------------------------

#if defined(QUORENT_JSON_COUNT_WORK)
thread_local std::uint64_t work_count = 0;
#endif

CoreError Reader::fail(std::string message, std::size_t offset) const {
    // Line and column of the offset: lines counted by line feeds, the
    // column as the number of bytes before the offset on its line.
    offset = std::min(offset, text_.size());
    count_work(offset);
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

CoreError Reader::fail(const char* message, std::size_t offset) const { return fail(std::string(message), offset); }

CoreError Reader::invalid_type(Token& found, std::string_view wanted) {
    std::string msg = "invalid type: ";
    switch (found.kind) {
        case Tok::Null: msg += "null"; break;
        case Tok::True: msg += "boolean `true`"; break;
        case Tok::False: msg += "boolean `false`"; break;
        case Tok::Num:
            if (found.num.kind == Number::Kind::Double) {
                msg += "floating point `";
                write_double(msg, double_value(text_, found.num));
            } else {
                msg += "integer `";
                if (found.num.kind == Number::Kind::U64) write_u64(msg, found.num.u);
                else write_i64(msg, found.num.i);
            }
            msg += '`';
            break;
        case Tok::Str:
            msg += "string ";
            msg += debug_quoted(found.str);
            break;
        case Tok::Arr: msg += "sequence"; break;
        case Tok::Obj: msg += "map"; break;
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
    std::size_t p = ws_end(last_end_);
    if (depth_ > 0 && p < text_.size()) {
        if (in_array()) {
            if (text_[p] == ']') ++p;
            else if (text_[p] == ',') p = ws_end(p + 1);
        } else if (text_[p] == '}') {
            ++p;
        }
    }
    return fail(std::move(message), p);
}

// ---- tokens ---------------------------------------------------------------------

Status Reader::lex(Token& t, bool keep) {
    skip_ws();
    const std::size_t n = text_.size();
    if (pos_ >= n) return fail("EOF while parsing a value", n);
    count_work(1);
    const char c = text_[pos_];
    switch (c) {
        case '{':
        case '[':
            t.kind = c == '{' ? Tok::Obj : Tok::Arr;
            t.pos = pos_++;
            return {};
        case '"': {
            t.kind = Tok::Str;
            std::size_t end = 0;
            QUORENT_CHECK(lex_string(pos_, keep, scratch_, t.str, end));
            t.pos = pos_ = end;
            return {};
        }
        case 't': return lex_literal(t, "true", Tok::True);
        case 'f': return lex_literal(t, "false", Tok::False);
        case 'n': return lex_literal(t, "null", Tok::Null);
        default:
            if (c == '-' || is_digit(c)) return lex_number(t);
            break;
    }
    return fail("expected value", pos_ + 1);
}

Status Reader::lex_literal(Token& t, std::string_view word, Tok kind) {
    const std::size_t n = text_.size();
    for (std::size_t i = 1; i < word.size(); ++i) {
        const std::size_t at = pos_ + i;
        if (at >= n) return fail("EOF while parsing a value", n);
        if (text_[at] != word[i]) return fail("expected ident", at + 1);
    }
    t.kind = kind;
    count_work(word.size());
    t.pos = pos_ = pos_ + word.size();
    return {};
}

Status Reader::lex_number(Token& t) {
    NumberFault fault;
    if (!scan_number(text_, pos_, t.num, fault)) return fail(fault.message, fault.offset);
    count_work(t.num.end - pos_);
    t.kind = Tok::Num;
    t.pos = pos_ = t.num.end;
    return {};
}

Status Reader::lex_string(std::size_t start, bool keep, std::string& buf, std::string_view& str, std::size_t& end) {
    // Without escapes the string is a view of the text; from the first
    // escape on it is decoded into `buf` (when kept).
    const std::size_t n = text_.size();
    const auto* s = reinterpret_cast<const unsigned char*>(text_.data());
    std::size_t i = start + 1;
    std::size_t copied = i;  // escaped: the text before this offset is in buf
    bool escaped = false;
    auto eof = [&] { return fail("EOF while parsing a string", n); };
    // Four hex digits at i, as a code unit.
    auto hex4 = [&](unsigned& cu) -> Status {
        cu = 0;
        for (int k = 0; k < 4; ++k, ++i) {
            if (i >= n) return eof();
            const int h = hex_value(static_cast<char>(s[i]));
            if (h < 0) return fail("invalid escape", i + 1);
            cu = cu << 4 | static_cast<unsigned>(h);
        }
        return {};
    };
    for (;;) {
        i = scan::plain_run_var(s, i, n, true);
        if (i >= n) return eof();
        const unsigned char c = s[i];
        if (c == '"') {
            end = i + 1;
            count_work(end - start);
            if (!escaped) {
                str = span(start + 1, i - start - 1);
            } else if (keep) {
                buf.append(text_.data() + copied, i - copied);
                str = buf;
            }
            return {};
        }
        if (c < 0x20) return fail("control character (\\u0000-\\u001F) found while parsing a string", i + 1);
        if (c == '\\') {
            if (keep) {
                if (!escaped) buf.clear();
                buf.append(text_.data() + copied, i - copied);
            }
            escaped = true;
            ++i;
            if (i >= n) return eof();
            char simple = 0;
            switch (s[i]) {
                case '"': simple = '"'; break;
                case '\\': simple = '\\'; break;
                case '/': simple = '/'; break;
                case 'b': simple = '\b'; break;
                case 'f': simple = '\f'; break;
                case 'n': simple = '\n'; break;
                case 'r': simple = '\r'; break;
                case 't': simple = '\t'; break;
                case 'u': {
                    ++i;
                    unsigned cp = 0;
                    QUORENT_CHECK(hex4(cp));
                    if (cp >= 0xDC00 && cp <= 0xDFFF) return fail("lone leading surrogate in hex escape", i);
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        // A trailing surrogate's escape must follow.
                        for (char want : {'\\', 'u'}) {
                            if (i >= n) return eof();
                            if (s[i] != static_cast<unsigned char>(want))
                                return fail("unexpected end of hex escape", i + 1);
                            ++i;
                        }
                        unsigned low = 0;
                        QUORENT_CHECK(hex4(low));
                        if (low < 0xDC00 || low > 0xDFFF) return fail("unexpected end of hex escape", i);
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    if (keep) unicode::append_utf8(buf, cp);
                    copied = i;
                    continue;
                }
                default: return fail("invalid escape", i + 1);
            }
            if (keep) buf += simple;
            copied = ++i;
            continue;
        }
        // A multi-byte UTF-8 sequence: the lead byte fixes the number of
        // continuation bytes and the range of the first one.
        unsigned count = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            count = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            count = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            count = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return fail("invalid unicode code point", i + 1);
        }
        ++i;
        for (unsigned k = 0; k < count; ++k, ++i) {
            if (i >= n) return eof();
            if (s[i] < lo || s[i] > hi) return fail("invalid unicode code point", i + 1);
            lo = 0x80;
            hi = 0xBF;
        }
    }
}

// ---- skipping -----------------------------------------------------------------------

Status Reader::skip_rest(const Token& t) {
    if (t.kind != Tok::Obj && t.kind != Tok::Arr) {
        last_end_ = t.pos;
        return {};
    }
    // Iterative: the open containers are tracked by depth alone.
    const std::size_t base = depth_;
    QUORENT_CHECK(enter(t));
    bool first = true;
    while (depth_ > base) {
        bool more = false;
        if (in_array()) {
            QUORENT_CHECK(next_element(first, more));
        } else {
            QUORENT_CHECK(next_member(first, more));
            if (more) {
                std::size_t end = 0;
                std::string_view unused;
                QUORENT_CHECK(lex_string(pos_, false, key_, unused, end));
                pos_ = end;
                QUORENT_CHECK(colon());
            }
        }
        first = false;
        if (!more) continue;
        Token v;
        QUORENT_CHECK(lex(v, false));
        if (v.kind == Tok::Obj || v.kind == Tok::Arr) {
            QUORENT_CHECK(enter(v));
            first = true;
        }
    }
    return {};
}

Status Reader::skip() {
    Token t;
    QUORENT_CHECK(lex(t, false));
    return skip_rest(t);
}

}  // namespace quorent::json
