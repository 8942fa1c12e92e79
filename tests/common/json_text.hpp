// JSON test data as the library's reader takes it.
#pragma once

#include <string>

namespace testdata {

// Conformance corpora write some inputs with unpaired UTF-16 surrogates, which a
// browser turns into U+FFFD before parsing; do the same to the escapes so
// that the JSON reader accepts them.
inline std::string replace_lone_surrogates(const std::string& text) {
    auto escape_at = [&](std::size_t i, unsigned& unit) {
        if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u') return false;
        unit = static_cast<unsigned>(std::stoul(text.substr(i + 2, 4), nullptr, 16));
        return true;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned unit = 0;
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] != 'u') {
            out.append(text, i, 2);
            i += 2;
        } else if (escape_at(i, unit) && unit >= 0xD800 && unit <= 0xDFFF) {
            unsigned low = 0;
            if (unit <= 0xDBFF && escape_at(i + 6, low) && low >= 0xDC00 && low <= 0xDFFF) {
                out.append(text, i, 12);
                i += 12;
            } else {
                out += "\\uFFFD";
                i += 6;
            }
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace testdata
