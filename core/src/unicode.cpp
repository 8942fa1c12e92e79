// UTF-8, character properties, NFC and full lower-casing over the generated
// tables (unicode_tables.cpp).
#include "unicode.hpp"

#include <algorithm>
#include <vector>

#include "unicode_tables.hpp"

namespace quorent::unicode {

using namespace tables;

Properties properties(char32_t c) {
    if (c >= 0x110000) return Properties{0};
    const std::uint32_t* first = kPropertyRunStarts + kPropertyBlockIndex[c >> 8];
    const std::uint32_t* last = kPropertyRunStarts + kPropertyBlockIndex[(c >> 8) + 1] + 1;
    const std::uint32_t* run = std::upper_bound(first, last, static_cast<std::uint32_t>(c));
    return Properties{kPropertyWords[kPropertyRunWords[run - kPropertyRunStarts - 1]]};
}

bool decode_utf8(std::string_view in, std::u32string& out) {
    out.clear();
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* const end = p + in.size();
    while (p < end) {
        const unsigned b = *p;
        if (b < 0x80) {
            out += static_cast<char32_t>(b);
            ++p;
            continue;
        }
        int n = 0;
        char32_t c = 0, min = 0;
        if (b >= 0xC2 && b <= 0xDF) n = 1, c = b & 0x1F, min = 0x80;
        else if (b >= 0xE0 && b <= 0xEF) n = 2, c = b & 0x0F, min = 0x800;
        else if (b >= 0xF0 && b <= 0xF4) n = 3, c = b & 0x07, min = 0x10000;
        else return false;
        if (end - p <= n) return false;
        for (int i = 1; i <= n; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            c = c << 6 | (p[i] & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        out += c;
        p += n + 1;
    }
    return true;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

// Hangul syllables compose and decompose arithmetically.
constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28, kNCount = kVCount * kTCount,
                   kSCount = kLCount * kNCount;

std::uint8_t ccc(char32_t c) { return c < 0x300 ? 0 : properties(c).combining_class(); }

void decompose_into(char32_t c, std::u32string& out) {
    if (c >= kSBase && c < kSBase + kSCount) {
        const char32_t s = c - kSBase;
        out += kLBase + s / kNCount;
        out += kVBase + (s % kNCount) / kTCount;
        if (s % kTCount != 0) out += kTBase + s % kTCount;
        return;
    }
    const Expansion* end = kDecompositions + kDecompositionCount;
    const Expansion* e = std::lower_bound(kDecompositions, end, c,
                                          [](const Expansion& x, char32_t v) { return x.code_point < v; });
    if (e != end && e->code_point == c) out.append(kDecompositionPool + e->offset, e->length);
    else out += c;
}

// The primary composite of a pair, or 0.
char32_t compose_pair(char32_t a, char32_t b) {
    if (a >= kLBase && a < kLBase + kLCount && b >= kVBase && b < kVBase + kVCount)
        return kSBase + ((a - kLBase) * kVCount + (b - kVBase)) * kTCount;
    if (a >= kSBase && a < kSBase + kSCount && (a - kSBase) % kTCount == 0 && b > kTBase && b < kTBase + kTCount)
        return a + (b - kTBase);
    const Composition* end = kCompositions + kCompositionCount;
    const Composition* p = std::lower_bound(kCompositions, end, std::pair{a, b}, [](const Composition& x, auto v) {
        return x.first < v.first || (x.first == v.first && x.second < v.second);
    });
    return p != end && p->first == a && p->second == b ? p->composite : 0;
}

// NFC_Quick_Check: every code point is Yes and the combining classes are in
// order.
bool quick_nfc(std::u32string_view text) {
    std::uint8_t last = 0;
    for (char32_t c : text) {
        if (c < 0x300) {
            last = 0;
            continue;
        }
        const Properties p = properties(c);
        const std::uint8_t cc = p.combining_class();
        if (p.nfc_maybe_not() || (cc != 0 && last > cc)) return false;
        last = cc;
    }
    return true;
}

}  // namespace

bool to_nfc(std::u32string& text) {
    if (quick_nfc(text)) return false;
    std::u32string d;
    d.reserve(text.size() + text.size() / 2);
    for (char32_t c : text) decompose_into(c, d);
    // Canonical ordering: each run of non-starters sorted stably by class.
    for (std::size_t i = 0; i < d.size();) {
        if (ccc(d[i]) == 0) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < d.size() && ccc(d[j]) != 0) ++j;
        std::stable_sort(d.begin() + static_cast<std::ptrdiff_t>(i), d.begin() + static_cast<std::ptrdiff_t>(j),
                         [](char32_t a, char32_t b) { return ccc(a) < ccc(b); });
        i = j;
    }
    // Canonical composition.
    std::size_t w = 0;
    std::ptrdiff_t starter = -1;
    std::uint8_t last_cc = 0;
    for (char32_t c : d) {
        const std::uint8_t cc = ccc(c);
        if (starter >= 0) {
            const bool adjacent = static_cast<std::size_t>(starter) + 1 == w;
            if (adjacent || (last_cc != 0 && last_cc < cc)) {
                if (const char32_t composite = compose_pair(d[static_cast<std::size_t>(starter)], c)) {
                    d[static_cast<std::size_t>(starter)] = composite;
                    continue;
                }
            }
        }
        if (cc == 0) starter = static_cast<std::ptrdiff_t>(w);
        last_cc = cc;
        d[w++] = c;
    }
    d.resize(w);
    text.swap(d);
    return true;
}

bool is_nfc(std::u32string_view text) {
    if (quick_nfc(text)) return true;
    std::u32string copy(text);
    to_nfc(copy);
    return copy == text;
}

namespace {

// The code points of a text; a byte that starts no well-formed sequence
// stands for itself as the negative value -1 - byte.
std::vector<long> code_points_of(std::string_view s) {
    std::vector<long> out;
    out.reserve(s.size());
    std::u32string one;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if (n > 1 && i + n <= s.size() && decode_utf8(s.substr(i, n), one)) {
            out.push_back(static_cast<long>(one[0]));
            i += n;
        } else {
            out.push_back(n == 1 ? static_cast<long>(b) : -1 - static_cast<long>(b));
            ++i;
        }
    }
    return out;
}

// Final_Sigma's context: the first code point before (step -1) or after
// (step 1) position i that is not case-ignorable is cased.
bool cased_beyond_ignorables(const std::vector<long>& cps, std::size_t i, int step) {
    for (std::size_t k = i + static_cast<std::size_t>(step); k < cps.size(); k += static_cast<std::size_t>(step)) {
        if (cps[k] < 0) return false;
        const Properties p = properties(static_cast<char32_t>(cps[k]));
        if (!p.case_ignorable()) return p.cased();
    }
    return false;
}

}  // namespace

std::string to_lower(std::string_view s) {
    const std::vector<long> cps = code_points_of(s);
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (std::size_t i = 0; i < cps.size(); ++i) {
        if (cps[i] < 0) {
            out += static_cast<char>(-1 - cps[i]);
            continue;
        }
        const auto c = static_cast<char32_t>(cps[i]);
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        } else if (c == 0x3A3) {
            const bool final = cased_beyond_ignorables(cps, i, -1) && !cased_beyond_ignorables(cps, i, 1);
            append_utf8(out, final ? 0x3C2 : 0x3C3);
        } else if (const SimpleMapping* m = std::lower_bound(
                       kLowerSingle, kLowerSingle + kLowerSingleCount, c,
                       [](const SimpleMapping& x, char32_t y) { return x.from < y; });
                   m != kLowerSingle + kLowerSingleCount && m->from == c) {
            append_utf8(out, m->to);
        } else {
            const Expansion* e = std::find_if(kLowerMulti, kLowerMulti + kLowerMultiCount,
                                              [c](const Expansion& x) { return x.code_point == c; });
            if (e == kLowerMulti + kLowerMultiCount) append_utf8(out, c);
            else
                for (std::size_t n = 0; n < e->length; ++n) append_utf8(out, kLowerPool[e->offset + n]);
        }
    }
    return out;
}

}  // namespace quorent::unicode
