#include "common/dates.hpp"

#include <gtest/gtest.h>

namespace {

using common::date_from_ymd;
using common::kEmptyDate;

TEST(Dates, JulianDays) {
    EXPECT_EQ(date_from_ymd(2000, 1, 1), 2451545);
    EXPECT_EQ(date_from_ymd(1, 1, 1), 1721426);
    EXPECT_EQ(date_from_ymd(1582, 10, 4) + 1, date_from_ymd(1582, 10, 5));  // proleptic: no gap
    // Every day number from 0001-01-01 to 9999-12-31 is a real date that converts back to
    // itself; as there are exactly as many numbers as real dates, no date is skipped.
    for (common::Date dt = date_from_ymd(1, 1, 1); dt <= date_from_ymd(9999, 12, 31); ++dt) {
        int y, m, d;
        common::ymd_from_date(dt, y, m, d);
        ASSERT_EQ(date_from_ymd(y, m, d), dt) << y << "-" << m << "-" << d;
    }
    EXPECT_EQ(date_from_ymd(9999, 12, 31) - date_from_ymd(1, 1, 1) + 1, 9999 * 365 + 2424);
}

TEST(Dates, InvalidAndEmpty) {
    const int bad[][3] = {{2023, 2, 29}, {2100, 2, 29}, {2024, 4, 31}, {2024, 13, 1}, {2024, 0, 1},
                          {0, 1, 1},     {10000, 1, 1}, {2024, 1, 0}};
    for (const auto& b : bad) EXPECT_EQ(date_from_ymd(b[0], b[1], b[2]), kEmptyDate) << b[0] << "-" << b[1];
    EXPECT_NE(date_from_ymd(2000, 2, 29), kEmptyDate);
    EXPECT_EQ(common::day_of(kEmptyDate), 0);
    EXPECT_EQ(common::month_of(kEmptyDate), 0);
    EXPECT_EQ(common::year_of(kEmptyDate), 0);
    EXPECT_EQ(common::last_day_of_month(kEmptyDate), kEmptyDate);
    EXPECT_EQ(common::last_day_of_month(date_from_ymd(2024, 2, 10)), date_from_ymd(2024, 2, 29));
    EXPECT_EQ(common::last_day_of_month(date_from_ymd(2023, 12, 31)), date_from_ymd(2023, 12, 31));
}

TEST(Dates, Arithmetic) {
    common::Date d = date_from_ymd(2024, 2, 28);
    EXPECT_EQ(common::add_days(d, 1), date_from_ymd(2024, 2, 29));
    EXPECT_EQ(common::add_days(d, 2), date_from_ymd(2024, 3, 1));
    EXPECT_EQ(common::add_days(d, -59), date_from_ymd(2023, 12, 31));
    EXPECT_EQ(common::add_days(kEmptyDate, 5), kEmptyDate);
    EXPECT_EQ(common::add_days(date_from_ymd(9999, 12, 31), 1), kEmptyDate);
    EXPECT_EQ(common::days_between(date_from_ymd(2024, 12, 31), date_from_ymd(2024, 1, 1)), 365);
    EXPECT_EQ(common::day_of_week(date_from_ymd(2000, 1, 1)), 7);  // Saturday
    EXPECT_EQ(common::day_of_week(date_from_ymd(2024, 6, 2)), 1);  // Sunday
    EXPECT_EQ(common::day_of_week(kEmptyDate), 0);
}

TEST(Dates, TextForms) {
    common::Date d = date_from_ymd(2011, 5, 3);
    EXPECT_EQ(common::dtos(d), "20110503");
    EXPECT_EQ(common::dtos(date_from_ymd(7, 1, 9)), "00070109");
    EXPECT_EQ(common::dtos(kEmptyDate), "        ");
    EXPECT_EQ(common::dtoc(d), "03/05/2011");
    EXPECT_EQ(common::dtoc(kEmptyDate), "  /  /    ");
    for (const char* s : {"20110503", "        ", "", "2011053", "20110230", "2011-5-3", "201105 3"})
        EXPECT_EQ(common::dtos(common::date_from_dtos(s)), std::string(s) == "20110503" ? "20110503" : "        ")
            << s;
}

TEST(Dates, TypedDates) {
    struct Case {
        const char* text;
        int y, m, d;  // 0 for the empty date
    };
    const Case cases[] = {
        {"01/01/19", 2019, 1, 1}, {"01/01/20", 1920, 1, 1}, {"31/12/99", 1999, 12, 31},
        {"15/06/00", 2000, 6, 15}, {"29/02/2024", 2024, 2, 29}, {"3-5-2011", 2011, 5, 3},
        {"03.05.11", 2011, 5, 3}, {" 03/05/2011 ", 2011, 5, 3}, {"29/02/2023", 0, 0, 0},
        {"  /  /    ", 0, 0, 0},   {"", 0, 0, 0},             {"03/05/011", 0, 0, 0},
        {"03/05-2011", 0, 0, 0},   {"3/5", 0, 0, 0},          {"aa/bb/cccc", 0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(common::ctod(c.text), c.y ? date_from_ymd(c.y, c.m, c.d) : kEmptyDate) << c.text;
}

TEST(Dates, DatesFromPictures) {
    struct Case {
        const char* text;
        const char* picture;
        int y, m, d;
    };
    const Case cases[] = {
        {"05/03/11", "MM/DD/YY", 2011, 5, 3},     {"03/05/2011", "DD/MM/YYYY", 2011, 5, 3},
        {"20110503", "YYYYMMDD", 2011, 5, 3},     {"03/05/20", "DD/MM/YY", 1920, 5, 3},
        {"03/05/19", "dd/mm/yy", 2019, 5, 3},     {" 3/ 5/2011", "DD/MM/YYYY", 2011, 5, 3},
        {"03/05/20", "DD/MM/YYYY", 0, 0, 0},      {"03/05", "DD/MM/YY", 0, 0, 0},
        {"31/02/2011", "DD/MM/YYYY", 0, 0, 0},    {"xx/05/2011", "DD/MM/YYYY", 0, 0, 0},
        {"03/05/  11", "DD/MM/YYYY", 0, 0, 0},    {"", "DD/MM/YYYY", 0, 0, 0},
        {"03/05/2011", "DD/MM", 0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(common::ttod(c.text, c.picture), c.y ? date_from_ymd(c.y, c.m, c.d) : kEmptyDate)
            << c.text << " " << c.picture;
    EXPECT_EQ(common::ttod("05/03/11"), date_from_ymd(2011, 5, 3));
}

}  // namespace
