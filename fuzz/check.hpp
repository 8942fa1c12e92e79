// Shared by the fuzz targets: a property check that stops the run with a
// readable report, and views of the fuzzer's input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond, what)                                                                        \
    do {                                                                                              \
        if (!(cond)) {                                                                                \
            std::fprintf(stderr, "property failed at %s:%d: %s\n  %s\n", __FILE__, __LINE__, #cond,   \
                         std::string(what).c_str());                                                  \
            std::abort();                                                                             \
        }                                                                                             \
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

inline bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
inline bool ends_with(std::string_view s, std::string_view p) {
    return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

}  // namespace fuzz
