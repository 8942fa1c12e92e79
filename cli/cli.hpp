// Shared pieces of the command-line tool: option specifications, parsing,
// and how one operation's outcome is reported.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sdk.hpp"

namespace quorent_cli {

// Exit statuses of the tool.
enum Exit : int { kOk = 0, kOperationError = 1, kUsage = 2, kInternal = 3 };

// A missing or malformed option, an unknown command: status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The operation failed with its declared error (status 1) or the library
// reported an internal failure (status 3).
struct CallFailed : std::runtime_error {
    CallFailed(int status, std::string variant_, std::string message_, const std::string& text)
        : std::runtime_error(text), exit_status(status), variant(std::move(variant_)), message(std::move(message_)) {}
    int exit_status;
    std::string variant;  // "Sdk", "InsecureOrigin", or "Internal"
    std::string message;
};

enum class Kind {
    Text,      // a text argument
    U64,       // unsigned 64-bit decimal
    Flag,      // bool: present means true (or --name=true|false)
    OptText,   // optional text: absent when the option is not given
    Bytes,     // a byte sequence, given as hex
    DeedJson,  // a Deed record, given as JSON
};

struct OptSpec {
    std::string_view name;  // the argument's name, snake case
    Kind kind;
    std::string_view help;
    bool optional = false;  // may be left out (flags and optional texts always may)
};

std::string kebab(std::string_view snake);

// The parsed options of one command: value texts by snake-case name.
// Options that were not given are absent (a flag that was not given too).
// Every value is wiped when the map goes: option values may be secrets.
struct Values : std::map<std::string, std::string, std::less<>> {
    Values() = default;
    Values(const Values&) = default;
    Values(Values&&) = default;
    Values& operator=(const Values&) = default;
    ~Values() {
        for (auto& [k, v] : *this) secure_wipe(v);
    }
};

// Parses argv (after the command name). Returns nullopt when help was asked.
// Any value may be given as @FILE or @- (standard input); --json is accepted
// and ignored here (it selects the output form, see json_output).
std::optional<Values> parse_options(const std::vector<OptSpec>& specs, const std::vector<std::string>& argv);

uint64_t parse_u64(std::string_view option, std::string_view text);

// Reads a required option, or throws a UsageError naming it.
const std::string& required(const Values& values, std::string_view name);

// Turns a failed outcome into CallFailed; returns a successful one unchanged.
Outcome check(Outcome outcome);

void print_option_help(const std::vector<OptSpec>& specs);

// The demo command and its options.
int run_demo(const std::vector<std::string>& argv);
const std::vector<OptSpec>& demo_options();

// Commands of the tool's own: host code, not operations of the library.
struct HostCommand {
    std::string_view name;
    std::string_view summary;
    int (*run)(const std::vector<std::string>& argv);
    const std::vector<OptSpec>& (*options)();
};
const std::vector<HostCommand>& host_commands();
const HostCommand* find_host_command(std::string_view name);

// The operation whose command is this kebab-case name, or nullptr.
const quorent_host::ops::Entry* find_operation(std::string_view command);

// The argument that an operation takes as the current time; it defaults to the clock.
inline constexpr std::string_view kNowArgument = "now_unix";

// The options of an operation's command, from its arguments in the table.
std::vector<OptSpec> options_of(const iface::Func& f);
bool is_secret(std::string_view option_name);
std::string_view metavar(const OptSpec& spec);  // "TEXT", "HEX", "JSON", "U64"; "" for a flag

// The man page (roff) and the bash completion script, printed by the
// hidden commands __man and __bash-completion.
int print_man();
int print_bash_completion();

}  // namespace quorent_cli
