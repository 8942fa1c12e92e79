// The tool's side of the buffer protocol: operations called by name through
// the shared host helpers, one call's outcome with every received buffer
// freed, and records read and written by walking the interface table's fields.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "json.hpp"
#include "quorent_host.hpp"
#include "quorent_operations.hpp"

namespace quorent_cli {

namespace iface = quorent::ffi::iface;

// A failure on the host's side of the boundary (a buffer function failed,
// a result buffer did not hold what the operation declares).
struct HostFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The lowered arguments of one call, in declaration order.
using Args = quorent_host::ops::Arguments;

using quorent_host::put_i32;
using quorent_host::put_opt_str;
using quorent_host::put_str;
using quorent_host::put_u64;
using quorent_host::to_hex;
using quorent_host::variant_name;
using quorent_host::secure_wipe;
using Cursor = quorent_host::Reader;

// What came back from one call. Buffers have been copied out and freed; the
// copy of the result is wiped when the outcome goes.
struct Outcome {
    int8_t code = 0;
    int32_t variant = 0;   // code 1: 1 = Sdk, 2 = InsecureOrigin
    std::string message;   // code 1 and 2
    std::string bytes;     // code 0, buffer results
    uint64_t integer = 0;  // code 0, integer results

    Outcome() = default;
    Outcome(const Outcome&) = default;
    Outcome& operator=(const Outcome&) = default;
    ~Outcome() { secure_wipe(bytes); }
};

// Calls an operation with lowered arguments (consumed by the call).
Outcome call(const quorent_host::ops::Entry& op, Args& args);
// The same by snake-case name; an unknown name is a HostFault.
Outcome call_operation(std::string_view name, Args& args);

// ---- records ------------------------------------------------------------------

// A record's nested form as JSON, its fields in declaration order under their
// own names (absent optional values as null).
Json read_record(const iface::Record& record, std::string_view bytes);
inline Json read_app_key(std::string_view bytes) { return read_record(iface::record("AppKey"), bytes); }
inline Json read_deed(std::string_view bytes) { return read_record(iface::record("Deed"), bytes); }

// The inverse: a record given as JSON (the shape read_record produces) in its
// nested form. Throws std::invalid_argument with a readable reason when the
// JSON does not describe the record.
std::string write_record(const iface::Record& record, const Json& value);
inline std::string write_deed(const Json& deed) { return write_record(iface::record("Deed"), deed); }

// Hex of either case with an optional "0x"; nullopt when malformed.
std::optional<std::string> from_hex(std::string_view text);

}  // namespace quorent_cli
