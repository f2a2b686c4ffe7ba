#include "common/calendar.hpp"

#include <algorithm>

namespace common {

DayColour CalendarCell::colour() const {
    if (today || selected) return DayColour::Blue;
    return in_month ? DayColour::Black : DayColour::Grey;
}

std::string CalendarCell::tooltip() const {
    if (selected) return "Selected";
    if (today) return "Today";
    return dtoc(date);
}

CalendarModel::CalendarModel(Date start, Date report_date, Date today) : today_(today) {
    selected_ = start != kEmptyDate ? start : report_date != kEmptyDate ? report_date : today;
}

Date CalendarModel::grid_start() const {
    Date first = date_from_ymd(year(), month(), 1);
    return add_days(first, 1 - day_of_week(first));
}

std::array<CalendarCell, CalendarModel::kCells> CalendarModel::cells() const {
    std::array<CalendarCell, kCells> grid{};
    Date d = grid_start();
    int shown = month();
    for (auto& cell : grid) {
        cell.date = d;
        cell.today = d == today_;
        cell.selected = d == selected_;
        cell.in_month = d != kEmptyDate && month_of(d) == shown;
        d = add_days(d, 1);
    }
    return grid;
}

void CalendarModel::move_to(int y, int m) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || selected_ == kEmptyDate) return;
    selected_ = date_from_ymd(y, m, std::min(day_of(selected_), days_in_month(y, m)));
}

void CalendarModel::set_month(int m) { move_to(year(), m); }
void CalendarModel::previous_year() { move_to(year() - 1, month()); }
void CalendarModel::next_year() { move_to(year() + 1, month()); }

}  // namespace common
