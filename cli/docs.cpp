// The man page and the bash completion of quorent, generated from the same
// interface table as its commands, options and help.
#include <iostream>

#include "cli.hpp"

namespace quorent_cli {

namespace {

namespace ops = quorent_host::ops;

std::string roff(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

void print_man_options(const std::vector<OptSpec>& specs) {
    if (specs.empty()) return;
    std::cout << ".RS\n";
    for (const OptSpec& s : specs) {
        if (metavar(s).empty()) std::cout << ".TP\n.B \\-\\-" << roff(kebab(s.name));
        else std::cout << ".TP\n.BI \\-\\-" << roff(kebab(s.name)) << " \" " << metavar(s) << "\"";
        std::cout << "\n" << roff(s.help);
        if (s.kind == Kind::Flag || s.kind == Kind::OptText) std::cout << " (optional)";
        if (s.name == kNowArgument) std::cout << " (default: the current time)";
        if (is_secret(s.name)) std::cout << ". A secret: give it as @FILE or @\\-";
        std::cout << "\n";
    }
    std::cout << ".RE\n";
}

}  // namespace

int print_man() {
    std::cout << ".TH QUORENT 1 \"\" \"quorent " QUORENT_SDK_VERSION_STRING "\" \"User Commands\"\n"
              << ".SH NAME\nquorent \\- sign-in deeds, delegations and origin vouches from the shell\n"
              << ".SH SYNOPSIS\n.B quorent\n.RB [ \\-\\-json ]\n.I command\n.RI [ options ]\n.br\n"
              << ".B quorent\n.I command\n.B \\-\\-help\n.br\n.B quorent \\-\\-version\n"
              << ".SH DESCRIPTION\n"
              << "Calls the operations of libquorent_sdk_uniffi, one command per operation.\n"
              << "Texts are printed as they are, records as JSON objects, byte sequences as 0x\\-hex.\n"
              << ".SH OPTIONS\n"
              << ".TP\n.B \\-\\-json\nPrint every result as one JSON value (texts as JSON strings, records as\n"
              << "objects, integers as numbers, bytes as a hex string) and every error as\n"
              << "{\"variant\": ..., \"message\": ...} on standard error.\n"
              << ".TP\n.B \\-\\-help\nList the commands, or describe one command and its options.\n"
              << ".TP\n.B \\-\\-version\nPrint the library version and the contract version it reports, then the\n"
              << "components the library is built with, one a line: name, version and licence.\n"
              << ".SH VALUES\n"
              << "Every option value may be given as\n.BI @ FILE\nto read it from a file, or as\n.B @\\-\n"
              << "to read it from standard input; give secrets this way, never on the command line\n"
              << "(\\fB\\-\\-secret\\-key\\-hex @key.hex\\fR, \\fB\\-\\-root\\-seed\\-hex @\\-\\fR).\n"
              << "White space around a hex or integer value read so is ignored; of any other value\n"
              << "one final line break is dropped.\n.B @@\nstarts a literal @.\n"
              << "Integers are unsigned decimal; byte sequences are hex with an optional 0x.\n"
              << ".SH COMMANDS\n";
    for (const HostCommand& c : host_commands())
        std::cout << ".TP\n.B " << roff(c.name) << "\n" << roff(c.summary) << ".\n";
    for (const ops::Entry& op : ops::kOperations) {
        std::cout << ".TP\n.B " << roff(kebab(op.func().name)) << "\n" << roff(op.func().doc) << "\n";
        print_man_options(options_of(op.func()));
    }
    std::cout
        << ".SH EXIT STATUS\n"
        << ".TP\n.B 0\nSuccess.\n"
        << ".TP\n.B 1\nThe operation failed with its declared error (SdkError::Sdk or SdkError::InsecureOrigin).\n"
        << ".TP\n.B 2\nUsage error: an unknown command or option, a malformed or unreadable value.\n"
        << ".TP\n.B 3\nInternal failure.\n"
        << ".SH EXAMPLES\n.nf\n"
        << "quorent normalize\\-origin \\-\\-origin https://Shop.test/\n"
        << "quorent derive\\-app\\-key \\-\\-root\\-seed\\-hex @seed.hex \\-\\-tenant\\-id 7 \\-\\-origin "
           "https://shop.test\n"
        << "quorent verify\\-token\\-at \\-\\-jwt @token.txt \\-\\-jwks\\-json @jwks.json \\e\n"
        << "    \\-\\-expected\\-iss https://idp.test \\-\\-expected\\-aud app\n"
        << ".fi\n";
    return kOk;
}

int print_bash_completion() {
    std::cout << "# bash completion for quorent\n"
                 "_quorent() {\n"
                 "    local cur=${COMP_WORDS[COMP_CWORD]} i=1 cmd= opts=\n"
                 "    while [[ $i -lt $COMP_CWORD && ${COMP_WORDS[i]} == --json ]]; do i=$((i + 1)); done\n"
                 "    if [[ $i -eq $COMP_CWORD ]]; then\n"
                 "        COMPREPLY=($(compgen -W \"--json --help --version";
    for (const HostCommand& c : host_commands()) std::cout << ' ' << c.name;
    for (const ops::Entry& op : ops::kOperations) std::cout << ' ' << kebab(op.func().name);
    std::cout << "\" -- \"$cur\"))\n"
                 "        return\n"
                 "    fi\n"
                 "    cmd=${COMP_WORDS[i]}\n"
                 "    if [[ $cur == @* ]]; then\n"
                 "        COMPREPLY=($(compgen -P @ -f -- \"${cur#@}\"))\n"
                 "        return\n"
                 "    fi\n"
                 "    case $cmd in\n";
    auto options_line = [](std::string_view command, const std::vector<OptSpec>& specs) {
        std::cout << "        " << command << ") opts=\"";
        for (const OptSpec& s : specs) std::cout << "--" << kebab(s.name) << ' ';
        std::cout << "--help --json\" ;;\n";
    };
    for (const HostCommand& c : host_commands()) options_line(c.name, c.options());
    for (const ops::Entry& op : ops::kOperations) options_line(kebab(op.func().name), options_of(op.func()));
    std::cout << "    esac\n"
                 "    if [[ -z $cur || $cur == -* ]]; then\n"
                 "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
                 "    fi\n"
                 "}\n"
                 "complete -o default -F _quorent quorent\n";
    return kOk;
}

}  // namespace quorent_cli
