#pragma once
// UTF-8 helpers of the print layer: widths on the grid count characters, not bytes.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace gui::print::utf8 {

// The number of bytes of the character whose first byte is `lead` (a stray continuation
// byte counts as a character of its own).
inline size_t char_bytes(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

inline size_t length(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++n) i += char_bytes(static_cast<unsigned char>(s[i]));
    return n;
}

// The first `n` characters of s.
inline std::string_view prefix(std::string_view s, size_t n) {
    size_t i = 0;
    for (size_t k = 0; k < n && i < s.size(); ++k) i += char_bytes(static_cast<unsigned char>(s[i]));
    return s.substr(0, std::min(i, s.size()));
}

// Decodes one character at s[i] and advances i; malformed bytes decode as U+FFFD.
inline char32_t next(std::string_view s, size_t& i) {
    auto b0 = static_cast<unsigned char>(s[i]);
    size_t n = char_bytes(b0);
    if (n == 1 || i + n > s.size()) {
        ++i;
        return b0 < 0x80 ? char32_t(b0) : char32_t(0xFFFD);
    }
    char32_t c = b0 & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i += n;
    return c;
}

inline void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace gui::print::utf8
