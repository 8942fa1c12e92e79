// The one reading of a JSON number's text, shared by the tokenizer, the typed
// readers and the canonical writer: its syntax, its kind (an unsigned or a
// signed 64-bit integer, or a double), and whether its text is already
// canonical (then the canonical text is a prefix of it).
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace quorent::json {

inline constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Filled by scan_number() (its integers left unset until then: it is made
// per number).
struct Number {
    enum class Kind : std::uint8_t { U64, I64, Double };
    Kind kind;
    bool negative;
    // Converted when the number was scanned (every integer kind; a double
    // that could be out of range), or on demand (double_value()).
    bool converted;
    std::size_t begin;      // its first character
    std::size_t end;        // just past its last character
    std::size_t canonical;  // length of its canonical text from `begin`, or 0: written by write_double
    std::uint64_t u;        // U64
    std::int64_t i;         // I64
    double d = 0;           // Double, once converted
};

// A fault in a number's text: the message and the offset it is reported at.
struct NumberFault {
    const char* message = nullptr;
    std::size_t offset = 0;
};

namespace detail {

// The double nearest a number's text without its sign (digits, an optional
// fraction and exponent); false when out of range: a magnitude too large (and
// with std::from_chars, one too small for anything but zero). LLVM's libc++
// has no std::from_chars for floating point before release 20: there (its
// WebAssembly build) the C library's strtod reads a NUL-terminated copy. That
// strtod is musl's, correctly rounded as std::from_chars is and reading '.'
// whatever the locale (which other C libraries' strtod do not promise), and
// it reads a magnitude too small as zero or a subnormal, as std::from_chars
// does; what is too large is infinite.
#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 200000
#if !defined(__wasi__)
#error "std::from_chars for double is missing, and strtod here may depend on the locale"
#endif
inline bool read_double(const char* first, const char* last, double& d) noexcept {
    const std::string copy(first, last);
    d = std::strtod(copy.c_str(), nullptr);
    return !std::isinf(d);
}
#else
inline bool read_double(const char* first, const char* last, double& d) noexcept {
    return std::from_chars(first, last, d).ec != std::errc::result_out_of_range;
}
#endif

// A fraction without exponent whose text, trailing zeros of its fraction
// dropped (one zero kept), is the shortest text of the double it reads as,
// and is what write_double writes for it: at most 15 significant digits (no
// two such texts read as the same double) and no exponent form (a value
// from 1e-5 on). The offset just past that text, or 0 for any other.
inline std::size_t canonical_fraction_end(const char* s, std::size_t int_start, std::size_t point,
                                             std::size_t end) noexcept {
    std::size_t last = end;  // the fraction's end, its trailing zeros dropped
    while (last > point + 1 && s[last - 1] == '0') --last;
    std::size_t significant = 0;
    if (point - int_start != 1 || s[int_start] != '0') {
        significant = (point - int_start) + (last - point - 1);
    } else {
        std::size_t lead = point + 1;  // the fraction's first digit other than zero
        while (lead < last && s[lead] == '0') ++lead;
        if (lead != last) {
            if (lead - point - 1 > 4) return 0;  // below 1e-5: exponent form
            significant = last - lead;
        }
    }
    if (significant > 15) return 0;
    return (last < point + 2 ? point + 2 : last);  // a fraction of zeros keeps its first one
}

// The double a number's text reads as; `out_of_range` when its magnitude is
// too large. Too small a magnitude reads as zero.
inline double to_double(const char* s, const Number& n, bool& out_of_range) noexcept {
    out_of_range = false;
    double d = 0;
    const char* first = s + n.begin + (n.negative ? 1 : 0);
    if (!read_double(first, s + n.end, d)) {
        // The decimal exponent of the leading significant digit decides.
        std::size_t j = n.begin + (n.negative ? 1 : 0);
        long long lead = 0;  // digits before the point from the first significant one, or minus the zeros after it
        bool seen = false;
        for (; j < n.end && is_digit(s[j]); ++j)
            if (seen || s[j] != '0') {
                seen = true;
                ++lead;
            }
        if (!seen && j < n.end && s[j] == '.') {
            for (++j; j < n.end && is_digit(s[j]); ++j) {
                --lead;
                if (s[j] != '0') {
                    seen = true;
                    break;
                }
            }
        }
        while (j < n.end && s[j] != 'e' && s[j] != 'E') ++j;
        long long e10 = 0;
        if (j < n.end) {
            std::size_t k = j + 1;
            const bool eneg = s[k] == '-';
            if (s[k] == '+' || s[k] == '-') ++k;
            for (; k < n.end && e10 < 100000; ++k) e10 = e10 * 10 + (s[k] - '0');
            if (eneg) e10 = -e10;
        }
        out_of_range = seen && lead + e10 > 0;
        d = 0.0;
    }
    return n.negative ? -d : d;
}

}  // namespace detail

// Scans the number starting at `start` (a '-' or a digit) in `text`. On a
// syntax fault or a magnitude too large for a double, fills `fault` and
// returns false.
[[gnu::always_inline]] inline bool scan_number(std::string_view text, std::size_t start, Number& out,
                                               NumberFault& fault) noexcept {
    const char* s = text.data();
    const std::size_t n = text.size();
    std::size_t i = start;
    out.negative = s[i] == '-';
    if (out.negative) ++i;
    auto no_digit = [&] {
        fault = i >= n ? NumberFault{"EOF while parsing a value", n} : NumberFault{"invalid number", i + 1};
        return false;
    };
    if (i >= n || !is_digit(s[i])) return no_digit();
    const std::size_t int_start = i;
    std::uint64_t m = 0;  // the first nineteen digits' value
    if (s[i] == '0') {
        ++i;
        if (i < n && is_digit(s[i])) {
            fault = {"invalid number", i + 1};
            return false;
        }
    } else {
        for (const std::size_t limit = std::min(n, i + 19); i < limit && is_digit(s[i]); ++i)
            m = m * 10 + static_cast<unsigned>(s[i] - '0');
        while (i < n && is_digit(s[i])) ++i;
    }
    const std::size_t int_end = i;
    const std::size_t digits = int_end - int_start;
    out.begin = start;
    out.end = i;
    out.converted = true;
    if (!out.negative && digits < 20 && (i == n || (s[i] != '.' && s[i] != 'e' && s[i] != 'E'))) {
        // The common case: a non-negative integer of up to nineteen digits.
        out.kind = Number::Kind::U64;
        out.u = m;
        out.canonical = i - start;
        return true;
    }
    bool fraction = false;
    bool exponent = false;
    if (i < n && s[i] == '.') {
        fraction = true;
        ++i;
        if (i >= n || !is_digit(s[i])) return no_digit();
        while (i < n && is_digit(s[i])) ++i;
    }
    const std::size_t fraction_end = i;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        exponent = true;
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= n || !is_digit(s[i])) return no_digit();
        while (i < n && is_digit(s[i])) ++i;
    }
    out.end = i;
    out.canonical = 0;
    out.converted = false;
    if (!fraction && !exponent) {
        // An integer's text is canonical whenever it reads as an integer
        // (a non-negative one of up to nineteen digits was taken above).
        if (digits < 20) {
            // "-0" is no negative integer: it is the double -0.0.
            if (m != 0 && m <= (std::uint64_t{1} << 63)) {
                out.kind = Number::Kind::I64;
                out.i = m == (std::uint64_t{1} << 63) ? INT64_MIN : -static_cast<std::int64_t>(m);
                out.canonical = i - start;
                out.converted = true;
                return true;
            }
        } else if (!out.negative && digits == 20) {
            if (std::from_chars(s + int_start, s + int_end, m).ec == std::errc()) {
                out.kind = Number::Kind::U64;
                out.u = m;
                out.canonical = i - start;
                out.converted = true;
                return true;
            }
        }
    }
    out.kind = Number::Kind::Double;
    if (fraction && !exponent) {
        if (const std::size_t e = detail::canonical_fraction_end(s, int_start, int_end, fraction_end); e != 0)
            out.canonical = e - start;
        // A whole part below 1e300 can be neither too large nor anything but
        // a double or zero: converted only when its value is asked for.
        if (digits < 300) return true;
    }
    bool out_of_range = false;
    out.d = detail::to_double(s, out, out_of_range);
    out.converted = true;
    if (out_of_range) {
        fault = {"number out of range", i};
        return false;
    }
    return true;
}

// The value of a scanned double.
inline double double_value(std::string_view text, Number& n) noexcept {
    if (!n.converted) {
        bool out_of_range = false;
        n.d = detail::to_double(text.data(), n, out_of_range);
        n.converted = true;
    }
    return n.d;
}

}  // namespace quorent::json
