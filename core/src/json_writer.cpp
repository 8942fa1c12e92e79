// The value model and the canonical writer.
#include "json_scan.hpp"
#include "quorent/json.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quorent::json {

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

}  // namespace

void write_string(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    std::size_t run = 0;  // start of the pending run of plain bytes
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; (i = scan::plain_run_var(bytes, i, text.size(), false)) < text.size(); ++i) {
        const unsigned char c = bytes[i];
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

}  // namespace quorent::json
