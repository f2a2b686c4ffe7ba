#include "common/calendar.hpp"

#include <gtest/gtest.h>

namespace {

using common::CalendarModel;
using common::date_from_ymd;
using common::DayColour;

TEST(Calendar, OpensOnStartReportDateOrToday) {
    common::Date today = date_from_ymd(2024, 6, 14), report = date_from_ymd(2024, 5, 31);
    EXPECT_EQ(CalendarModel(date_from_ymd(2011, 5, 3), report, today).selected(), date_from_ymd(2011, 5, 3));
    EXPECT_EQ(CalendarModel(common::kEmptyDate, report, today).selected(), report);
    EXPECT_EQ(CalendarModel(common::kEmptyDate, common::kEmptyDate, today).selected(), today);
}

TEST(Calendar, GridAndCells) {
    // June 2024 begins on a Saturday: the grid starts on Sunday 26 May.
    common::Date today = date_from_ymd(2024, 6, 14);
    CalendarModel cal(date_from_ymd(2024, 6, 3), common::kEmptyDate, today);
    EXPECT_EQ(cal.grid_start(), date_from_ymd(2024, 5, 26));
    auto cells = cal.cells();
    EXPECT_EQ(cells.front().date, date_from_ymd(2024, 5, 26));
    EXPECT_EQ(cells.back().date, date_from_ymd(2024, 7, 6));

    const auto& may = cells[0];
    const auto& selected = cells[8];   // 3 June
    const auto& now = cells[19];       // 14 June
    const auto& plain = cells[20];     // 15 June
    EXPECT_EQ(may.colour(), DayColour::Grey);
    EXPECT_EQ(may.tooltip(), "26/05/2024");
    EXPECT_TRUE(selected.selected);
    EXPECT_EQ(selected.colour(), DayColour::Blue);
    EXPECT_EQ(selected.tooltip(), "Selected");
    EXPECT_TRUE(now.today);
    EXPECT_EQ(now.colour(), DayColour::Blue);
    EXPECT_EQ(now.tooltip(), "Today");
    EXPECT_EQ(plain.colour(), DayColour::Black);
    EXPECT_EQ(plain.tooltip(), "15/06/2024");

    // A month beginning on Sunday starts the grid on its first day.
    CalendarModel sept(date_from_ymd(2024, 9, 20), common::kEmptyDate, today);
    EXPECT_EQ(sept.grid_start(), date_from_ymd(2024, 9, 1));
    EXPECT_FALSE(sept.cells()[0].today);
}

TEST(Calendar, MovesKeepTheDayOrTakeTheLastOne) {
    common::Date today = date_from_ymd(2024, 6, 14);
    CalendarModel cal(date_from_ymd(2024, 1, 31), common::kEmptyDate, today);
    cal.set_month(2);
    EXPECT_EQ(cal.selected(), date_from_ymd(2024, 2, 29));
    EXPECT_EQ(cal.grid_start(), date_from_ymd(2024, 1, 28));
    cal.next_year();
    EXPECT_EQ(cal.selected(), date_from_ymd(2025, 2, 28));
    cal.set_month(4);
    EXPECT_EQ(cal.selected(), date_from_ymd(2025, 4, 28));
    cal.set_month(13);  // ignored
    EXPECT_EQ(cal.selected(), date_from_ymd(2025, 4, 28));

    CalendarModel dec(date_from_ymd(2020, 12, 15), common::kEmptyDate, today);
    dec.next_year();
    EXPECT_EQ(dec.year(), 2021);
    dec.previous_year();
    dec.previous_year();
    EXPECT_EQ(dec.selected(), date_from_ymd(2019, 12, 15));
}

}  // namespace
