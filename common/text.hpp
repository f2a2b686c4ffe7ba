#pragma once
// Small text helpers. Texts are UTF-8; widths, padding and cutting count characters, not
// bytes, so "PEÑA" is four wide like the table field shows it.
#include <string>
#include <string_view>

namespace common {

size_t text_length(std::string_view s);
// The first `n` characters of s.
std::string left(std::string_view s, size_t n);
// s cut or padded with blanks on the right to exactly `n` characters.
std::string pad_right(std::string_view s, size_t n);
// s padded on the left with `fill` to at least `n` characters (never cut).
std::string pad_left(std::string_view s, size_t n, char fill = ' ');
std::string rtrim(std::string_view s);
std::string trim(std::string_view s);
bool is_blank(std::string_view s);
// True when s is not empty and every character is a digit 0-9.
bool all_digits(std::string_view s);

}  // namespace common
