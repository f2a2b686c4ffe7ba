#pragma once
// Picture formatting of printed values and edit fields.
//
// A picture is an optional function part ("@" and letters, ended by a blank) and a template:
//   "9" (or "#") a digit, "," the thousands separator (shown only between digits),
//   "." the decimal point, anything else is copied as it stands;
//   "@Z" blank when the value is zero, "@D" a date as dd/mm/yyyy, "@!" upper case.
// Numbers are rounded half away from zero to the template's decimals (common/decimal); a
// negative number puts its "-" just before its first digit. A number that does not fit
// prints as asterisks in the template's shape ("*******.**" for "999,999.99").
#include <string>
#include <string_view>

#include "common/dates.hpp"

namespace common {

// A number under a numeric picture, e.g. transform(-4999.745, "99,999.99") == "-4,999.75".
// A picture without a template shows the number with two decimals and no padding.
std::string transform(double value, std::string_view picture);

// A date: dd/mm/yyyy ("  /  /    " for the empty date) under "@D" and every other picture.
std::string transform_date(Date value, std::string_view picture);

// A UTF-8 text. "@!" (or "!" in the template) turns letters to upper case, Spanish ones
// included (á -> Á, ñ -> Ñ, ü -> Ü). With a template, each template place takes the next
// character (blank once the text runs out) and literal characters are inserted.
std::string transform_text(std::string_view value, std::string_view picture);

// Upper case of a UTF-8 text: ASCII and the letters of Windows-1252 (Latin-1, š, ž, œ).
std::string upper_utf8(std::string_view text);

}  // namespace common
