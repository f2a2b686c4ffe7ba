#pragma once
// Small text helpers of the shared routines. Texts are UTF-8; widths, padding and cutting
// count characters, not bytes, so "PEÑA" is four wide like the table field shows it.
#include <string>
#include <string_view>

#include "common/text.hpp"

namespace xbase {
class Table;
}

namespace common::routines {

using common::all_digits;
using common::is_blank;
using common::left;
using common::pad_left;
using common::pad_right;
using common::rtrim;
using common::text_length;
using common::trim;

// A field of the current record by name (UTF-8, padded as stored for character fields);
// an unknown field throws xbase::ValueError naming it.
std::string field_text(const xbase::Table& t, std::string_view field);
double field_number(const xbase::Table& t, std::string_view field);
int field_date(const xbase::Table& t, std::string_view field);
bool field_flag(const xbase::Table& t, std::string_view field);

}  // namespace common::routines
