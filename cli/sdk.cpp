#include "sdk.hpp"

#include <cctype>

namespace quorent_cli {

Outcome call(const quorent_host::ops::Entry& op, Args& args) {
    quorent_host::ops::Raw raw = args.call(op);
    Outcome out;
    const RustBuffer result = raw.buf;
    const quorent_host::Status st = quorent_host::read_status(raw.status);
    out.code = st.code;
    out.variant = st.variant;
    out.message = st.message;
    if (out.code == 1 && out.variant != 1 && out.variant != 2) throw HostFault("unknown SdkError variant");
    if (out.code == 0) {
        out.bytes = quorent_host::take(result);
        out.integer = raw.integer;
    } else if (result.data != nullptr) {
        quorent_host::release(result);
    }
    return out;
}

Outcome call_operation(std::string_view name, Args& args) {
    const quorent_host::ops::Entry* op = quorent_host::ops::find(name);
    if (op == nullptr) throw HostFault("no operation named " + std::string(name));
    return call(*op, args);
}

// ---- records ----------------------------------------------------------------------

namespace {

std::string lower_case(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

Json read_record(const iface::Record& record, std::string_view bytes) {
    Cursor c(bytes);
    Json j = Json::object();
    for (std::size_t i = 0; i < record.field_count; ++i) {
        const iface::Field& f = record.fields[i];
        const std::string key(f.name);
        switch (f.type) {
            case iface::Type::U8: j[key] = c.u8(); break;
            case iface::Type::U64: j[key] = c.u64(); break;
            case iface::Type::String: j[key] = c.str(); break;
            case iface::Type::OptionalString: {
                auto v = c.opt_str();
                j[key] = v ? Json(*v) : Json(nullptr);
                break;
            }
            case iface::Type::OptionalU64: {
                auto v = c.opt_u64();
                j[key] = v ? Json(*v) : Json(nullptr);
                break;
            }
            default: throw HostFault("a record field of a type the tool cannot read");
        }
    }
    c.finish();
    return j;
}

std::string write_record(const iface::Record& record, const Json& value) {
    const std::string what = lower_case(record.name);
    if (!value.is_object()) throw std::invalid_argument("a " + what + " must be a JSON object");
    for (const auto& [key, v] : value.members()) {
        bool known = false;
        for (std::size_t i = 0; i < record.field_count; ++i) known = known || record.fields[i].name == key;
        if (!known) throw std::invalid_argument("unknown " + what + " field '" + key + "'");
    }
    auto refuse = [&](std::string_view key, const std::string& why) {
        return std::invalid_argument(what + " field '" + std::string(key) + "' " + why);
    };
    auto number = [&](std::string_view key, const Json& v, uint64_t max, const char* or_null) {
        if (!v.is_number_unsigned() || v.unsigned_value() > max)
            throw refuse(key, "must be an integer from 0 to " + std::to_string(max) + or_null);
        return v.unsigned_value();
    };
    std::string out;
    for (std::size_t i = 0; i < record.field_count; ++i) {
        const iface::Field& f = record.fields[i];
        const Json* it = value.find(f.name);
        const bool absent = it == nullptr || it->is_null();
        switch (f.type) {
            case iface::Type::U8:
                if (absent) throw refuse(f.name, "is missing");
                out.push_back(static_cast<char>(number(f.name, *it, 255, "")));
                break;
            case iface::Type::U64:
                if (absent) throw refuse(f.name, "is missing");
                put_u64(out, number(f.name, *it, UINT64_MAX, ""));
                break;
            case iface::Type::String:
                if (absent) throw refuse(f.name, "is missing");
                if (!it->is_string()) throw refuse(f.name, "must be a string");
                put_str(out, it->string());
                break;
            case iface::Type::OptionalString:
                if (absent) {
                    out.push_back('\0');
                } else if (it->is_string()) {
                    out.push_back('\1');
                    put_str(out, it->string());
                } else {
                    throw refuse(f.name, "must be a string or null");
                }
                break;
            case iface::Type::OptionalU64:
                if (absent) {
                    out.push_back('\0');
                } else {
                    const uint64_t n = number(f.name, *it, UINT64_MAX, ", or null");
                    out.push_back('\1');
                    put_u64(out, n);
                }
                break;
            default: throw HostFault("a record field of a type the tool cannot write");
        }
    }
    return out;
}

// ---- hex --------------------------------------------------------------------------

std::optional<std::string> from_hex(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

}  // namespace quorent_cli
