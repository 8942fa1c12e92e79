// The generated Unicode tables (unicode_tables.cpp, written by
// core/unicode/generate.py): layouts and names. Read through unicode.hpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorent::unicode::tables {

// A run of code points with one UTS #46 status: start << 3 | status; a mapped
// run's replacement is length UTF-8 bytes at offset in kIdnaMappingPool.
struct IdnaRange {
    std::uint32_t start_status;
    std::uint16_t offset;
    std::uint8_t length;
};
inline constexpr std::uint32_t kStatusValid = 0, kStatusMapped = 1, kStatusIgnored = 2, kStatusDeviation = 3,
                               kStatusDisallowed = 4;

// A code point and its expansion: length code points at offset in a pool.
struct Expansion {
    char32_t code_point;
    std::uint16_t offset;
    std::uint8_t length;
};

struct Composition {
    char32_t first, second, composite;
};

struct SimpleMapping {
    char32_t from, to;
};

extern const IdnaRange kIdnaRanges[];
extern const std::size_t kIdnaRangeCount;
extern const char kIdnaMappingPool[];
// For each block of 256 code points (and one past the last), the index of
// the run holding the block's first code point: a lookup searches only the
// runs between two neighbours.
extern const std::uint16_t kIdnaBlockIndex[];

// Property words: bits 0-3 Bidi class (BidiClass below), 4-6 Joining type
// (JoiningType), 7-14 canonical combining class, 15 General_Category=Mark,
// 16 Cased, 17 Case_Ignorable, 18 NFC_Quick_Check is No or Maybe.
extern const std::uint32_t kPropertyRunStarts[];
extern const std::uint16_t kPropertyRunWords[];
extern const std::size_t kPropertyRunCount;
extern const std::uint32_t kPropertyWords[];
extern const std::uint16_t kPropertyBlockIndex[];

extern const Expansion kDecompositions[];
extern const std::size_t kDecompositionCount;
extern const char32_t kDecompositionPool[];
extern const Composition kCompositions[];
extern const std::size_t kCompositionCount;

extern const SimpleMapping kLowerSingle[];
extern const std::size_t kLowerSingleCount;
extern const Expansion kLowerMulti[];
extern const std::size_t kLowerMultiCount;
extern const char32_t kLowerPool[];

}  // namespace quorent::unicode::tables
