#pragma once
// Small text helpers of the shared routines. Texts are UTF-8; widths, padding and cutting
// count characters, not bytes, so "PEÑA" is four wide like the table field shows it.
#include <string>
#include <string_view>

namespace xbase {
class Table;
}

namespace common::routines {

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

// A field of the current record by name (UTF-8, padded as stored for character fields);
// an unknown field throws xbase::ValueError naming it.
std::string field_text(const xbase::Table& t, std::string_view field);
double field_number(const xbase::Table& t, std::string_view field);
int field_date(const xbase::Table& t, std::string_view field);
bool field_flag(const xbase::Table& t, std::string_view field);

}  // namespace common::routines
