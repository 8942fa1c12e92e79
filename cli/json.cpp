#include "json.hpp"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_map>

namespace quorent_cli {

// ---- values -----------------------------------------------------------------------

Json::Json(const std::vector<std::string>& items) : kind_(Kind::Array) {
    elements_.reserve(items.size());
    for (const std::string& s : items) elements_.emplace_back(s);
}

Json Json::object() {
    Json j;
    j.kind_ = Kind::Object;
    return j;
}

Json Json::array() {
    Json j;
    j.kind_ = Kind::Array;
    return j;
}

const std::string& Json::string() const {
    if (kind_ != Kind::String) throw std::logic_error("a JSON value that is not a string read as one");
    return text_;
}

std::string& Json::string() {
    if (kind_ != Kind::String) throw std::logic_error("a JSON value that is not a string read as one");
    return text_;
}

std::uint64_t Json::unsigned_value() const {
    if (kind_ != Kind::Unsigned) throw std::logic_error("a JSON value that is not an unsigned integer read as one");
    return unsigned_;
}

Json& Json::operator[](std::string_view key) {
    if (kind_ == Kind::Null) kind_ = Kind::Object;
    if (kind_ != Kind::Object) throw std::logic_error("a member set on a JSON value that is not an object");
    for (Member& m : members_)
        if (m.first == key) return m.second;
    return members_.emplace_back(std::string(key), Json()).second;
}

const Json* Json::find(std::string_view key) const {
    for (const Member& m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

void Json::push_back(Json value) {
    if (kind_ == Kind::Null) kind_ = Kind::Array;
    if (kind_ != Kind::Array) throw std::logic_error("an element added to a JSON value that is not an array");
    elements_.push_back(std::move(value));
}

// ---- printing ---------------------------------------------------------------------

namespace {

// The length of the well-formed UTF-8 sequence starting at s[i]; when none
// starts there, minus the length of the longest prefix of one (at least 1),
// which is then replaced as a whole.
int sequence_at(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) return 1;
    int need = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        return -1;
    }
    for (int k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return -k;
        const auto c = static_cast<unsigned char>(s[i + k]);
        if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return -k;
    }
    return need + 1;
}

bool is_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const int n = sequence_at(s, i);
        if (n < 0) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

void append_string(std::string& out, std::string_view s) {
    out.push_back('"');
    for (std::size_t i = 0; i < s.size();) {
        const int n = sequence_at(s, i);
        if (n < 0) {
            out += "\xEF\xBF\xBD";
            i += static_cast<std::size_t>(-n);
            continue;
        }
        if (n > 1) {
            out.append(s, i, static_cast<std::size_t>(n));
            i += static_cast<std::size_t>(n);
            continue;
        }
        const char c = s[i++];
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                    out += buf;
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

void new_line(std::string& out, int indent, int level) {
    out.push_back('\n');
    out.append(static_cast<std::size_t>(indent) * static_cast<std::size_t>(level), ' ');
}

}  // namespace

std::string Json::dump(int indent) const {
    std::string out;
    dump_to(out, indent, 0);
    return out;
}

void Json::dump_to(std::string& out, int indent, int level) const {
    switch (kind_) {
        case Kind::Null: out += "null"; break;
        case Kind::Bool: out += unsigned_ != 0 ? "true" : "false"; break;
        case Kind::Unsigned: out += std::to_string(unsigned_); break;
        case Kind::Integer: out += std::to_string(integer_); break;
        case Kind::Number: out += text_; break;
        case Kind::String: append_string(out, text_); break;
        case Kind::Array:
        case Kind::Object: {
            const bool is_array = kind_ == Kind::Array;
            const std::size_t count = is_array ? elements_.size() : members_.size();
            out.push_back(is_array ? '[' : '{');
            for (std::size_t i = 0; i < count; ++i) {
                if (i > 0) out.push_back(',');
                if (indent >= 0) new_line(out, indent, level + 1);
                if (is_array) {
                    elements_[i].dump_to(out, indent, level + 1);
                } else {
                    append_string(out, members_[i].first);
                    out += indent >= 0 ? ": " : ":";
                    members_[i].second.dump_to(out, indent, level + 1);
                }
            }
            if (indent >= 0 && count > 0) new_line(out, indent, level);
            out.push_back(is_array ? ']' : '}');
            break;
        }
    }
}

// ---- reading ----------------------------------------------------------------------

// Builds the value from the reader's events. Containers under construction
// are kept by pointer: a container gets no new member while one of its
// members is still open, so the pointers stay valid.
class JsonBuilder {
public:
    Json root;
    std::string fault;  // set when this builder stops the reading

    bool Null() { return add(Json()) != nullptr; }
    bool Bool(bool b) { return add(Json(b)) != nullptr; }
    bool Int(int i) { return add(Json(i)) != nullptr; }
    bool Uint(unsigned u) { return add(Json(u)) != nullptr; }
    bool Int64(std::int64_t i) { return add(Json(i)) != nullptr; }
    bool Uint64(std::uint64_t u) { return add(Json(u)) != nullptr; }
    bool Double(double) { return stop("a number the tool cannot hold"); }
    bool RawNumber(const char* s, rapidjson::SizeType n, bool) { return add(number({s, n})) != nullptr; }
    bool String(const char* s, rapidjson::SizeType n, bool) {
        if (!is_utf8({s, n})) return stop("a \\u escape of an unpaired surrogate");
        return add(Json(std::string(s, n))) != nullptr;
    }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
        if (!is_utf8({s, n})) return stop("a \\u escape of an unpaired surrogate");
        key_.assign(s, n);
        return true;
    }
    bool StartObject() { return open(Json::object()); }
    bool EndObject(rapidjson::SizeType) {
        keep_last_duplicates(open_.back()->members_);
        open_.pop_back();
        return true;
    }
    bool StartArray() { return open(Json::array()); }
    bool EndArray(rapidjson::SizeType) {
        open_.pop_back();
        return true;
    }

private:
    bool stop(std::string why) {
        fault = std::move(why);
        return false;
    }

    Json* add(Json value) {
        if (open_.empty()) {
            root = std::move(value);
            return &root;
        }
        Json& parent = *open_.back();
        if (parent.kind_ == Json::Kind::Array) return &parent.elements_.emplace_back(std::move(value));
        return &parent.members_.emplace_back(std::move(key_), std::move(value)).second;
    }

    bool open(Json container) {
        if (open_.size() >= static_cast<std::size_t>(Json::kMaxDepth))
            return stop("more than " + std::to_string(Json::kMaxDepth) + " nested arrays and objects");
        open_.push_back(add(std::move(container)));
        return true;
    }

    // An unsigned or signed integer when written as one and in range,
    // otherwise a number kept as written.
    static Json number(std::string_view text) {
        const bool negative = !text.empty() && text[0] == '-';
        const std::string_view digits = negative ? text.substr(1) : text;
        std::uint64_t magnitude = 0;
        bool whole = !digits.empty();
        for (const char c : digits) {
            if (c < '0' || c > '9' || magnitude > (UINT64_MAX - static_cast<unsigned>(c - '0')) / 10) {
                whole = false;
                break;
            }
            magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        }
        if (whole && !negative) return Json(magnitude);
        if (whole && magnitude <= static_cast<std::uint64_t>(INT64_MAX) + 1)
            return Json(static_cast<std::int64_t>(0 - magnitude));
        Json j;
        j.kind_ = Json::Kind::Number;
        j.text_ = std::string(text);
        return j;
    }

    // A key given more than once keeps its first place and its last value.
    static void keep_last_duplicates(std::vector<Json::Member>& members) {
        if (members.size() < 2) return;
        std::unordered_map<std::string_view, std::size_t> first;
        std::vector<bool> dropped(members.size(), false);
        for (std::size_t i = 0; i < members.size(); ++i) {
            const auto [it, added] = first.emplace(members[i].first, i);
            if (!added) {
                members[it->second].second = std::move(members[i].second);
                dropped[i] = true;
            }
        }
        first.clear();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < members.size(); ++i)
            if (!dropped[i]) {
                if (kept != i) members[kept] = std::move(members[i]);
                ++kept;
            }
        members.resize(kept);
    }

    std::vector<Json*> open_;
    std::string key_;
};

Json Json::parse(std::string_view text) {
    constexpr unsigned kFlags =
        rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;
    JsonBuilder builder;
    rapidjson::Reader reader;
    rapidjson::MemoryStream stream(text.data(), text.size());
    const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
    if (!result.IsError()) return std::move(builder.root);

    std::string why = result.Code() == rapidjson::kParseErrorTermination && !builder.fault.empty()
                          ? builder.fault
                          : rapidjson::GetParseError_En(result.Code());
    if (!why.empty() && why.back() == '.') why.pop_back();
    if (!why.empty() && why[0] >= 'A' && why[0] <= 'Z') why[0] = static_cast<char>(why[0] - 'A' + 'a');
    const std::size_t offset = std::min(result.Offset(), text.size());
    std::size_t line = 1, line_start = 0;
    for (std::size_t i = 0; i < offset; ++i)
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    throw ParseError(why + " at line " + std::to_string(line) + " column " + std::to_string(offset - line_start + 1));
}

}  // namespace quorent_cli
