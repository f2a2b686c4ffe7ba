#pragma once
// The date model of the pop-up calendar opened next to date fields: which month it shows,
// the 6 x 7 grid of days, how each day button looks, and the month and year moves. The
// window itself lives in the GUI layer; today comes from the caller's clock.
#include <array>
#include <string>
#include <string_view>

#include "common/dates.hpp"

namespace common {

inline constexpr std::array<std::string_view, 12> kCalendarMonths = {
    "Enero", "Febrero", "Marzo",     "Abril",   "Mayo",      "Junio",
    "Julio", "Agosto",  "Setiembre", "Octubre", "Noviembre", "Diciembre"};
inline constexpr std::string_view kCalendarWeekdays = "Dom   Lun   Mar   Mie   Jue    Vie   Sab";

enum class DayColour { Blue, Black, Grey };

struct CalendarCell {
    Date date = kEmptyDate;
    bool today = false;
    bool selected = false;  // drawn pressed
    bool in_month = false;  // belongs to the month shown

    // Blue for today and the selected day, black for the other days of the month, grey for
    // the days of the months before and after.
    DayColour colour() const;
    // "Selected", "Today", or the date as dd/mm/yyyy.
    std::string tooltip() const;
};

class CalendarModel {
public:
    static constexpr int kCells = 42;  // 6 weeks of 7 days, Sunday first

    // Opens on `start`; an empty start opens on `report_date`, and when that is empty too,
    // on `today`.
    CalendarModel(Date start, Date report_date, Date today);

    Date selected() const { return selected_; }
    int month() const { return month_of(selected_); }
    int year() const { return year_of(selected_); }
    Date today() const { return today_; }

    // The Sunday on or before the first day of the month shown.
    Date grid_start() const;
    std::array<CalendarCell, kCells> cells() const;

    // Month combo (1..12) and the "-" / "+" year buttons. The day number is kept; a day the
    // new month does not have (31 January -> February) becomes that month's last day, so the
    // chosen date is never lost. Moves outside years 1..9999 are ignored.
    void set_month(int month);
    void previous_year();
    void next_year();

private:
    void move_to(int year, int month);

    Date selected_;
    Date today_;
};

}  // namespace common
