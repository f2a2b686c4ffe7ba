#pragma once
// Decimal rounding and number formatting shared by every module.
//
// Rounding is half away from zero on the *decimal* value of a double: the double is first
// normalised to 15 significant digits (so 1.005, stored as 1.00499999999999989..., is taken
// as 1.005) and then rounded on its decimal digits: 2.345 -> 2.35, 1.005 -> 1.01,
// 115.225 -> 115.23, -2.345 -> -2.35.
#include <string>

namespace common {

// Round(x, d): half away from zero on the decimal value; d may be negative (tens, hundreds).
double round_half_away(double x, int decimals);

// Int(x): truncation toward zero.
double int_trunc(double x);

// Str(x, width, decimals): right-aligned in `width` characters with `decimals` decimals,
// rounded as above; when the number does not fit, `width` asterisks.
std::string str(double x, int width = 10, int decimals = 0);

// The same as str() into a caller buffer of at least `width` bytes, without allocating.
// Returns false (and fills the buffer with '*') when the number does not fit.
bool str_into(double x, int width, int decimals, char* out);

// StrZero(x, width, decimals): Str() with leading zeros instead of blanks; a negative
// number keeps its minus sign first ("-0012.50"). Overflow gives asterisks as Str() does.
std::string strzero(double x, int width = 10, int decimals = 0);

// The rounded decimal digits of x with exactly `decimals` decimals and no padding,
// e.g. format_fixed(-2.345, 2) == "-2.35", format_fixed(0.0, 2) == "0.00".
std::string format_fixed(double x, int decimals);

}  // namespace common
