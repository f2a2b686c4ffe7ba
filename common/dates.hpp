#pragma once
// Calendar dates as Julian day numbers (2451545 = 2000-01-01); 0 is the empty date, which
// sorts before every real date and has day, month and year 0.
#include <cstdint>
#include <string>
#include <string_view>

namespace common {

using Date = int32_t;
constexpr Date kEmptyDate = 0;

bool is_leap_year(int y);
int days_in_month(int y, int m);  // 0 for a month outside 1..12

// 0 (the empty date) when y/m/d is not a real date (years 1..9999).
Date date_from_ymd(int y, int m, int d);
void ymd_from_date(Date dt, int& y, int& m, int& d);  // empty date -> 0, 0, 0
int day_of(Date dt);
int month_of(Date dt);
int year_of(Date dt);
Date last_day_of_month(Date dt);  // empty stays empty

// "YYYYMMDD", or eight blanks for the empty date; parsing accepts both (and "") and gives
// the empty date for anything else.
std::string dtos(Date dt);
Date date_from_dtos(std::string_view s);

// Display form dd/mm/yyyy; the empty date shows as "  /  /    ".
std::string dtoc(Date dt);
// Typed dates: dd/mm/yy or dd/mm/yyyy (also '-' or '.' as separators). A two-digit year
// 20..99 is 19yy and 00..19 is 20yy (epoch 1920). Anything invalid gives the empty date.
Date ctod(std::string_view text);

// The year of a two-digit year by the same epoch: 20..99 -> 19yy, 00..19 -> 20yy.
int year_from_two_digits(int yy);

// A date text laid out as `picture` says: the year is read where the picture has "YYYY" (or
// "YY"), the month where it has "MM" and the day where it has "DD" ("DD/MM/YYYY",
// "YYYYMMDD", ...). A blank, short or invalid text gives the empty date, never an exception.
Date ttod(std::string_view text, std::string_view picture = "MM/DD/YY");

// Day arithmetic. add_days gives the empty date for the empty date or a result outside
// years 1..9999; days_between(a, b) is a - b in days (the empty date counts as day 0).
Date add_days(Date dt, int64_t days);
int64_t days_between(Date later, Date earlier);
// 1 = Sunday .. 7 = Saturday; 0 for the empty date.
int day_of_week(Date dt);

}  // namespace common
