// Whether a text is well-formed UTF-8: no overlong forms, surrogates or code
// points above U+10FFFF.
//
// is_utf8 is constant-time; the functions ending in _var are faster and
// variable-time: a secret must never reach them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quorent {

// Where a text stops being UTF-8: the length of its valid prefix, and the
// length of the ill-formed sequence found there (1 to 3 bytes), or 0 when
// the text ends inside a sequence that could still be completed.
struct Utf8Fault {
    std::size_t valid_up_to;
    std::size_t error_len;
};

// The verdict for a text that may hold a secret (a hex secret: valid ones are
// ASCII): every byte is read, with no branch or table lookup on it; only
// whether the text is ASCII and the verdict are revealed.
bool is_utf8(std::string_view text) noexcept;

// The first fault of a text, or none when the whole text is well-formed.
// Walks the text and stops at the fault (reveals the bytes by its branches).
std::optional<Utf8Fault> first_utf8_fault_var(std::string_view text) noexcept;
// is_utf8 by that walk (reveals the bytes by its branches).
inline bool is_utf8_var(std::string_view text) noexcept { return !first_utf8_fault_var(text).has_value(); }

}  // namespace quorent
