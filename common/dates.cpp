#include "common/dates.hpp"

#include <cstdint>

namespace common {
namespace {

// Julian day numbers of 0001-01-01 and 9999-12-31, the range of real dates.
constexpr int64_t kFirstDay = 1721426;
constexpr int64_t kLastDay = 5373484;

bool is_real(int64_t jd) { return jd >= kFirstDay && jd <= kLastDay; }

// Day count of a proleptic Gregorian date; y/m/d must already be valid.
int64_t julian(int y, int m, int d) {
    int64_t a = (m - 14) / 12;  // -1 for January and February, else 0
    return (1461 * (y + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 - (3 * ((y + 4900 + a) / 100)) / 4 + d -
           32075;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The digits of s as a number; -1 when s is empty or holds anything but digits.
int digits_value(std::string_view s) {
    if (s.empty() || s.size() > 4) return -1;
    int v = 0;
    for (char c : s) {
        if (!is_digit(c)) return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool all_blank(std::string_view s) { return trim_blanks(s).empty(); }

void put2(std::string& s, size_t at, int v) {
    s[at] = static_cast<char>('0' + v / 10);
    s[at + 1] = static_cast<char>('0' + v % 10);
}

}  // namespace

bool is_leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12) return 0;
    return (m == 2 && is_leap_year(y)) ? 29 : kDays[m - 1];
}

Date date_from_ymd(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return kEmptyDate;
    return static_cast<Date>(julian(y, m, d));
}

void ymd_from_date(Date dt, int& y, int& m, int& d) {
    if (!is_real(dt)) {
        y = m = d = 0;
        return;
    }
    int64_t l = int64_t{dt} + 68569;
    int64_t n = 4 * l / 146097;
    l -= (146097 * n + 3) / 4;
    int64_t i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    int64_t j = 80 * l / 2447;
    d = static_cast<int>(l - 2447 * j / 80);
    l = j / 11;
    m = static_cast<int>(j + 2 - 12 * l);
    y = static_cast<int>(100 * (n - 49) + i + l);
}

int day_of(Date dt) {
    int y, m, d;
    ymd_from_date(dt, y, m, d);
    return d;
}

int month_of(Date dt) {
    int y, m, d;
    ymd_from_date(dt, y, m, d);
    return m;
}

int year_of(Date dt) {
    int y, m, d;
    ymd_from_date(dt, y, m, d);
    return y;
}

Date last_day_of_month(Date dt) {
    int y, m, d;
    ymd_from_date(dt, y, m, d);
    if (y == 0) return kEmptyDate;
    return date_from_ymd(y, m, days_in_month(y, m));
}

Date add_days(Date dt, int64_t days) {
    if (!is_real(dt)) return kEmptyDate;
    int64_t jd = int64_t{dt} + days;
    return is_real(jd) ? static_cast<Date>(jd) : kEmptyDate;
}

int64_t days_between(Date later, Date earlier) { return int64_t{later} - int64_t{earlier}; }

int day_of_week(Date dt) {
    if (!is_real(dt)) return 0;
    return static_cast<int>((int64_t{dt} + 1) % 7) + 1;  // JD 2451545 (2000-01-01) was a Saturday
}

int year_from_two_digits(int yy) { return yy >= 20 ? 1900 + yy : 2000 + yy; }

std::string dtos(Date dt) {
    int y, m, d;
    ymd_from_date(dt, y, m, d);
    if (y == 0) return std::string(8, ' ');
    std::string s(8, '0');
    put2(s, 0, y / 100);
    put2(s, 2, y % 100);
    put2(s, 4, m);
    put2(s, 6, d);
    return s;
}

Date date_from_dtos(std::string_view s) {
    if (s.size() != 8) return kEmptyDate;  // "" and anything of another length
    for (char c : s)
        if (!is_digit(c)) return kEmptyDate;  // eight blanks, or garbage
    return date_from_ymd(digits_value(s.substr(0, 4)), digits_value(s.substr(4, 2)), digits_value(s.substr(6, 2)));
}

std::string dtoc(Date dt) {
    int y, m, d;
    ymd_from_date(dt, y, m, d);
    if (y == 0) return "  /  /    ";
    std::string s = "00/00/0000";
    put2(s, 0, d);
    put2(s, 3, m);
    put2(s, 6, y / 100);
    put2(s, 8, y % 100);
    return s;
}

Date ctod(std::string_view text) {
    text = trim_blanks(text);
    // Day, month and year separated by one of '/', '-' or '.', the same separator both times.
    size_t a = text.find_first_of("/-.");
    if (a == std::string_view::npos) return kEmptyDate;
    size_t b = text.find(text[a], a + 1);
    if (b == std::string_view::npos) return kEmptyDate;
    std::string_view ds = trim_blanks(text.substr(0, a));
    std::string_view ms = trim_blanks(text.substr(a + 1, b - a - 1));
    std::string_view ys = trim_blanks(text.substr(b + 1));
    if (ds.size() > 2 || ms.size() > 2 || (ys.size() != 2 && ys.size() != 4)) return kEmptyDate;
    int d = digits_value(ds), m = digits_value(ms), y = digits_value(ys);
    if (d < 0 || m < 0 || y < 0) return kEmptyDate;
    if (ys.size() == 2) y = year_from_two_digits(y);
    return date_from_ymd(y, m, d);
}

Date ttod(std::string_view text, std::string_view picture) {
    if (all_blank(text)) return kEmptyDate;
    // Where the picture has the year, month and day (upper or lower case).
    auto find = [&](std::string_view part) {
        for (size_t i = 0; i + part.size() <= picture.size(); ++i) {
            bool same = true;
            for (size_t k = 0; k < part.size() && same; ++k) {
                char c = picture[i + k];
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                same = c == part[k];
            }
            if (same) return i;
        }
        return std::string_view::npos;
    };
    size_t yp = find("YYYY");
    size_t ylen = 4;
    if (yp == std::string_view::npos) {
        yp = find("YY");
        ylen = 2;
    }
    size_t mp = find("MM");
    size_t dp = find("DD");
    if (yp == std::string_view::npos || mp == std::string_view::npos || dp == std::string_view::npos)
        return kEmptyDate;
    // A part cut short by the end of the text, or holding anything but digits (blanks around
    // a one-digit month or day are allowed), makes the whole text invalid.
    auto part = [&](size_t pos, size_t len) -> int {
        if (pos + len > text.size()) return -1;
        return digits_value(trim_blanks(text.substr(pos, len)));
    };
    int m = part(mp, 2), d = part(dp, 2);
    // The year must fill its places: "1/1/  20" is not a year.
    int y = yp + ylen <= text.size() ? digits_value(text.substr(yp, ylen)) : -1;
    if (y < 0 || m < 0 || d < 0) return kEmptyDate;
    if (ylen == 2) y = year_from_two_digits(y);
    return date_from_ymd(y, m, d);
}

}  // namespace common
