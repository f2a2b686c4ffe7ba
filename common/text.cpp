#include "common/text.hpp"

#include <algorithm>

namespace common {

namespace {

size_t char_bytes(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// Byte offset of character n (s.size() when s is shorter).
size_t offset_of(std::string_view s, size_t n) {
    size_t i = 0;
    for (size_t k = 0; k < n && i < s.size(); ++k) i += char_bytes(static_cast<unsigned char>(s[i]));
    return std::min(i, s.size());
}

}  // namespace

size_t text_length(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++n) i += char_bytes(static_cast<unsigned char>(s[i]));
    return n;
}

std::string left(std::string_view s, size_t n) { return std::string(s.substr(0, offset_of(s, n))); }

std::string pad_right(std::string_view s, size_t n) {
    std::string r = left(s, n);
    size_t len = text_length(r);
    if (len < n) r.append(n - len, ' ');
    return r;
}

std::string pad_left(std::string_view s, size_t n, char fill) {
    size_t len = text_length(s);
    std::string r;
    if (len < n) r.assign(n - len, fill);
    r += s;
    return r;
}

std::string rtrim(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

std::string trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return rtrim(s);
}

bool is_blank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace common
