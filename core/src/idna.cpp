// UTS #46 ToASCII with the URL Standard's options, over the generated tables:
// map, normalize to NFC, split into labels, decode and check A-labels, check
// each label (validity, CheckJoiners, CheckBidi), encode with Punycode.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "unicode.hpp"
#include "unicode_tables.hpp"

namespace quorent::unicode {

using namespace tables;

namespace {

// Punycode labels longer than this many code points fail: Punycode costs
// time quadratic in a label's length, and no name system takes labels this
// long (DNS stops at 63 octets).
constexpr std::size_t kMaxPunycodeLabel = 1000;

std::uint32_t idna_status(char32_t c, std::string_view& mapping) {
    if (c >= 0x110000) return kStatusDisallowed;
    const IdnaRange* first = kIdnaRanges + kIdnaBlockIndex[c >> 8];
    const IdnaRange* last = kIdnaRanges + kIdnaBlockIndex[(c >> 8) + 1] + 1;
    const IdnaRange* r = std::upper_bound(first, last, static_cast<std::uint32_t>(c),
                                          [](std::uint32_t v, const IdnaRange& x) { return v < (x.start_status >> 3); });
    --r;  // first starts at or before c
    mapping = std::string_view(kIdnaMappingPool + r->offset, r->length);
    return r->start_status & 7;
}

bool valid_status(char32_t c) {
    if (c < 0x80) return !(c >= 'A' && c <= 'Z');
    std::string_view unused;
    const std::uint32_t s = idna_status(c, unused);
    return s == kStatusValid || s == kStatusDeviation;
}

// RFC 3492 parameters.
constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700, kInitialBias = 72,
                        kInitialN = 0x80;

std::uint32_t adapt(std::uint64_t delta, std::uint64_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
        delta /= kBase - kTMin;
        k += kBase;
    }
    return static_cast<std::uint32_t>(k + (kBase - kTMin + 1) * delta / (delta + kSkew));
}

int digit_value(char c) {
    if (c >= 'a' && c <= 'z') return c - 'a';
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= '0' && c <= '9') return c - '0' + 26;
    return -1;
}

char digit_char(std::uint64_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26)); }

std::uint32_t threshold(std::uint32_t k, std::uint32_t bias) {
    return k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
}

// Punycode decoding of an all-ASCII text.
bool punycode_decode(std::u32string_view in, std::u32string& out) {
    out.clear();
    const std::size_t delim = in.rfind(U'-');
    std::size_t pos = 0;
    if (delim != std::u32string_view::npos && delim > 0) {
        out.assign(in.substr(0, delim));
        pos = delim + 1;
    }
    std::uint64_t n = kInitialN, i = 0;
    std::uint32_t bias = kInitialBias;
    while (pos < in.size()) {
        const std::uint64_t old_i = i;
        std::uint64_t w = 1;
        for (std::uint32_t k = kBase;; k += kBase) {
            if (pos >= in.size()) return false;
            const int digit = digit_value(static_cast<char>(in[pos++]));
            if (digit < 0) return false;
            i += static_cast<std::uint64_t>(digit) * w;
            const std::uint32_t t = threshold(k, bias);
            if (static_cast<std::uint32_t>(digit) < t) break;
            w *= kBase - t;
            if (i > 0x7FFFFFFF || w > 0x7FFFFFFF) return false;
        }
        if (i > 0x7FFFFFFF) return false;
        const std::uint64_t len = out.size() + 1;
        bias = adapt(i - old_i, len, old_i == 0);
        n += i / len;
        i %= len;
        if (n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF) || out.size() >= kMaxPunycodeLabel) return false;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(i), static_cast<char32_t>(n));
        ++i;
    }
    return true;
}

// Punycode encoding of a label, appended to out.
bool punycode_encode(std::u32string_view in, std::string& out) {
    if (in.size() > kMaxPunycodeLabel) return false;
    std::size_t h = 0;
    for (char32_t c : in)
        if (c < 0x80) out += static_cast<char>(c), ++h;
    const std::size_t basic = h;
    if (basic > 0) out += '-';
    std::uint64_t n = kInitialN, delta = 0;
    std::uint32_t bias = kInitialBias;
    while (h < in.size()) {
        char32_t m = 0x10FFFF;
        for (char32_t c : in)
            if (c >= n && c < m) m = c;
        delta += (m - n) * (h + 1);
        n = m;
        for (char32_t c : in) {
            if (c < n) ++delta;
            if (c != n) continue;
            std::uint64_t q = delta;
            for (std::uint32_t k = kBase;; k += kBase) {
                const std::uint32_t t = threshold(k, bias);
                if (q < t) break;
                out += digit_char(t + (q - t) % (kBase - t));
                q = (q - t) / (kBase - t);
            }
            out += digit_char(q);
            bias = adapt(delta, h + 1, h == basic);
            delta = 0;
            ++h;
        }
        ++delta;
        ++n;
    }
    return true;
}

bool is_ascii(std::u32string_view s) {
    return std::all_of(s.begin(), s.end(), [](char32_t c) { return c < 0x80; });
}

bool starts_with_xn(std::u32string_view s) { return s.size() >= 4 && s.substr(0, 4) == U"xn--"; }

// RFC 5892 appendix A.1 and A.2.
bool context_j_ok(std::u32string_view label) {
    for (std::size_t i = 0; i < label.size(); ++i) {
        const char32_t c = label[i];
        if (c != 0x200C && c != 0x200D) continue;
        if (i > 0 && properties(label[i - 1]).combining_class() == 9) continue;  // Virama
        if (c == 0x200D) return false;
        std::size_t k = i;
        JoiningType before = JoiningType::U;
        while (k > 0 && (before = properties(label[--k]).joining()) == JoiningType::T) before = JoiningType::U;
        if (before != JoiningType::L && before != JoiningType::D) return false;
        JoiningType after = JoiningType::U;
        for (k = i + 1; k < label.size(); ++k)
            if ((after = properties(label[k]).joining()) != JoiningType::T) break;
        if (k == label.size() || (after != JoiningType::R && after != JoiningType::D)) return false;
    }
    return true;
}

// RFC 5893 section 2, for a label of a Bidi domain name.
bool bidi_rule_ok(std::u32string_view label) {
    if (label.empty()) return true;
    using B = BidiClass;
    const B first = properties(label[0]).bidi();
    if (first != B::L && first != B::R && first != B::AL) return false;
    const bool rtl = first != B::L;
    bool has_en = false, has_an = false;
    B last = B::Other;  // the last class that is not NSM
    for (char32_t c : label) {
        const B b = properties(c).bidi();
        switch (b) {
            case B::L: if (rtl) return false; break;
            case B::R: case B::AL: case B::AN: if (!rtl) return false; break;
            case B::EN: case B::ES: case B::CS: case B::ET: case B::ON: case B::BN: case B::NSM: break;
            default: return false;
        }
        has_en |= b == B::EN;
        has_an |= b == B::AN;
        if (b != B::NSM) last = b;
    }
    if (rtl) return (last == B::R || last == B::AL || last == B::EN || last == B::AN) && !(has_en && has_an);
    return last == B::L || last == B::EN;
}

// The validity criteria for nontransitional processing, without the Bidi
// rule (checked over the whole name after). Every code point the mapping
// step leaves or writes is valid, so only labels that normalization changed
// or Punycode decoding produced need their statuses checked.
bool label_valid(std::u32string_view label, bool decoded, bool check_status) {
    if (label.empty()) return true;
    if (decoded && (starts_with_xn(label) || !is_nfc(label))) return false;
    if (properties(label[0]).mark()) return false;
    if (check_status)
        for (char32_t c : label)
            if (c == U'.' || !valid_status(c)) return false;
    return context_j_ok(label);
}

bool has_rtl(std::u32string_view label) {
    return std::any_of(label.begin(), label.end(), [](char32_t c) {
        if (c < 0x590) return false;
        const BidiClass b = properties(c).bidi();
        return b == BidiClass::R || b == BidiClass::AL || b == BidiClass::AN;
    });
}

}  // namespace

bool domain_to_ascii(std::string_view utf8, std::string& out) {
    out.clear();
    std::u32string input;
    if (!decode_utf8(utf8, input)) return false;
    // Mapping.
    std::u32string mapped, piece;
    mapped.reserve(input.size());
    for (char32_t c : input) {
        if (c < 0x80) {
            mapped += c >= 'A' && c <= 'Z' ? c + 32 : c;
            continue;
        }
        std::string_view mapping;
        switch (idna_status(c, mapping)) {
            case kStatusValid:
            case kStatusDeviation: mapped += c; break;
            case kStatusIgnored: break;
            case kStatusMapped:
                if (!decode_utf8(mapping, piece)) return false;
                mapped += piece;
                break;
            default: return false;
        }
    }
    const bool normalized = to_nfc(mapped);
    // Labels: A-labels decoded, every label checked. Other labels stay
    // views into mapped.
    std::vector<std::u32string_view> labels;
    std::vector<bool> reencode;
    std::deque<std::u32string> decoded_labels;
    std::u32string_view rest(mapped);
    bool bidi_domain = false;
    while (true) {
        const std::size_t dot = rest.find(U'.');
        std::u32string_view label = rest.substr(0, dot);
        if (starts_with_xn(label)) {
            std::u32string& decoded = decoded_labels.emplace_back();
            if (!is_ascii(label) || !punycode_decode(label.substr(4), decoded) || decoded.empty() ||
                is_ascii(decoded))
                return false;
            // Only the canonical encoding of a label is accepted.
            std::string again;
            if (!punycode_encode(decoded, again) || again.size() != label.size() - 4 ||
                !std::equal(again.begin(), again.end(), label.begin() + 4))
                return false;
            if (!label_valid(decoded, true, true)) return false;
            label = decoded;
            reencode.push_back(true);
        } else {
            if (!label_valid(label, false, normalized)) return false;
            reencode.push_back(!is_ascii(label));
        }
        bidi_domain = bidi_domain || has_rtl(label);
        labels.push_back(label);
        if (dot == std::u32string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    // The Bidi rule holds for every label of a Bidi domain name that is not
    // all ASCII: the URL Standard's data accepts "1.\u064A" (an ASCII label
    // beside a right-to-left one).
    if (bidi_domain)
        for (std::u32string_view label : labels)
            if (!is_ascii(label) && !bidi_rule_ok(label)) return false;
    // ToASCII.
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) out += '.';
        if (reencode[i]) {
            out += "xn--";
            if (!punycode_encode(labels[i], out)) return false;
        } else {
            for (char32_t c : labels[i]) out += static_cast<char>(c);
        }
    }
    return true;
}

}  // namespace quorent::unicode
