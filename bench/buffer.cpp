// The cost of releasing buffers wiped: a buffer made from host bytes and
// freed through the exported functions (which wipe before releasing), beside
// the wipe alone and a plain malloc/free pair of the same size; and the fixed
// cost of the argument buffers a host builds for every call
// ("boundary/arguments/<n>").
#include <cstdlib>
#include <cstring>
#include <string>

#include "support.hpp"

namespace {

void buffer_roundtrip(benchmark::State& state) {
    const std::string bytes(static_cast<std::size_t>(state.range(0)), 'k');
    for (auto _ : state) {
        RustCallStatus st{};
        RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(
            ForeignBytes{static_cast<int32_t>(bytes.size()), reinterpret_cast<const uint8_t*>(bytes.data())}, &st);
        ffi_quorent_sdk_uniffi_rustbuffer_free(b, &st);
    }
}
BENCHMARK(buffer_roundtrip)->Name("buffer/from_bytes_free_wiped")->Arg(64)->Arg(1024)->Arg(65536);

void buffer_wipe_only(benchmark::State& state) {
    std::string bytes(static_cast<std::size_t>(state.range(0)), 'k');
    for (auto _ : state) {
        explicit_bzero(bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(buffer_wipe_only)->Name("buffer/wipe_only")->Arg(64)->Arg(1024)->Arg(65536);

void buffer_plain_malloc(benchmark::State& state) {
    const std::string bytes(static_cast<std::size_t>(state.range(0)), 'k');
    for (auto _ : state) {
        void* p = std::malloc(bytes.size());
        std::memcpy(p, bytes.data(), bytes.size());
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}
BENCHMARK(buffer_plain_malloc)->Name("buffer/malloc_copy_free_unwiped")->Arg(64)->Arg(1024)->Arg(65536);

// n argument buffers of 32 bytes made with rustbuffer_from_bytes and
// released, as a call consumes them.
void boundary_arguments(benchmark::State& state) {
    const std::string bytes(32, 'a');
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state)
        for (std::size_t i = 0; i < n; ++i) bench::release(bench::arg(bytes));
}
BENCHMARK(boundary_arguments)->Name("boundary/arguments")->Arg(1)->Arg(4)->Arg(8);

}  // namespace
