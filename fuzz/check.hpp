// Shared by the fuzz targets: a property check that stops the run with a
// readable report, and views of the fuzzer's input.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond, what)                                                                      \
    do {                                                                                            \
        if (!(cond)) {                                                                              \
            std::fprintf(stderr, "property failed at %s:%d: %s\n  %s\n", __FILE__, __LINE__, #cond, \
                         std::string(what).c_str());                                                \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

namespace fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return size == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(data), size);
}

// Printable form of arbitrary bytes for reports.
inline std::string show(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char b[5];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        }
    }
    return out;
}

// The input cut at its first N - 1 NUL bytes; missing fields are empty.
template <std::size_t N>
std::array<std::string_view, N> fields(std::string_view in) {
    std::array<std::string_view, N> f{};
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t cut = i + 1 < N ? in.find('\0') : std::string_view::npos;
        f[i] = in.substr(0, cut);
        in = cut == std::string_view::npos ? std::string_view() : in.substr(cut + 1);
    }
    return f;
}

inline bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
inline bool ends_with(std::string_view s, std::string_view p) {
    return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

}  // namespace fuzz
