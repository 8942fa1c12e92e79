// The share of the JSON parser in the operations that read JSON: the same
// argument texts read by nlohmann-json's SAX parser into a handler that does
// nothing ("parser/<op>/<factor>", beside "op/<op>/<factor>"), and the fixed
// cost of the argument buffers a host builds for every call
// ("boundary/arguments/<n>").
#include <nlohmann/json.hpp>

#include "support.hpp"

using namespace bench;

namespace {

using Json = nlohmann::json;

struct Ignore : nlohmann::json_sax<Json> {
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }
};

void parse_all(benchmark::State& state, const std::vector<std::string>& texts) {
    Ignore sink;
    for (auto _ : state) {
        for (const std::string& t : texts) {
            if (!Json::sax_parse(t.data(), t.data() + t.size(), &sink)) {
                state.SkipWithError("not JSON");
                return;
            }
        }
    }
}

std::size_t scale(const benchmark::State& state) { return static_cast<std::size_t>(state.range(0)); }

void parser_issuer_key_id(benchmark::State& state) {
    parse_all(state, {json_inputs::jwk(scale(state))});
}
BENCHMARK(parser_issuer_key_id)->Name("parser/issuer_key_id")->Arg(1)->Arg(10)->Arg(100);

void parser_delegation_binding(benchmark::State& state) {
    parse_all(state, {json_inputs::grants(scale(state))});
}
BENCHMARK(parser_delegation_binding)->Name("parser/delegation_binding")->Arg(1)->Arg(10)->Arg(100);

void parser_delegate(benchmark::State& state) {
    parse_all(state, {json_inputs::grants(scale(state))});
}
BENCHMARK(parser_delegate)->Name("parser/delegate")->Arg(1)->Arg(10)->Arg(100);

void parser_parent_ref_hash_link(benchmark::State& state) {
    parse_all(state, {json_inputs::link(scale(state))});
}
BENCHMARK(parser_parent_ref_hash_link)->Name("parser/parent_ref_hash_link")->Arg(1)->Arg(10)->Arg(100);

void parser_mint_capability_deed(benchmark::State& state) {
    parse_all(state, {json_inputs::grants(scale(state)), json_inputs::chain(scale(state))});
}
BENCHMARK(parser_mint_capability_deed)->Name("parser/mint_capability_deed")->Arg(1)->Arg(10)->Arg(100);

// n argument buffers of 32 bytes made with rustbuffer_from_bytes and
// released, as a call consumes them.
void boundary_arguments(benchmark::State& state) {
    const std::string bytes(32, 'a');
    const auto n = scale(state);
    for (auto _ : state)
        for (std::size_t i = 0; i < n; ++i) release(arg(bytes));
}
BENCHMARK(boundary_arguments)->Name("boundary/arguments")->Arg(1)->Arg(4)->Arg(8);

}  // namespace
