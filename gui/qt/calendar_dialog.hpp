#pragma once
// The pop-up calendar of the date fields: a month combo, the year with "-" and "+" buttons,
// the weekday heading, 6 x 7 day buttons over common::CalendarModel and "&Ok". Clicking a
// day closes it with that day, "&Ok" with the selected date; closing it any other way gives
// the empty date.
#include <QDialog>
#include <array>

#include "common/calendar.hpp"

class QComboBox;
class QLabel;
class QPushButton;

namespace gui::qt {

class CalendarDialog : public QDialog {
    Q_OBJECT
public:
    // `start` empty opens on `report_date`, and when that is empty too on `today`.
    CalendarDialog(common::Date start, common::Date report_date, common::Date today, const QString& title,
                   QWidget* parent = nullptr);

    // The chosen date; empty until a day or "&Ok" closed the calendar.
    common::Date chosen() const { return chosen_; }
    const common::CalendarModel& model() const { return model_; }

    QComboBox* month_combo() const { return month_; }
    QLabel* year_label() const { return year_; }
    QPushButton* previous_year_button() const { return minus_; }
    QPushButton* next_year_button() const { return plus_; }
    QPushButton* ok_button() const { return ok_; }
    // Cell 0..41 of the grid, Sunday of the first row first.
    QPushButton* day_button(int cell) const { return days_.at(static_cast<size_t>(cell)); }

private:
    void redraw();
    void pick(int cell);

    common::CalendarModel model_;
    common::Date chosen_ = common::kEmptyDate;
    QComboBox* month_ = nullptr;
    QLabel* year_ = nullptr;
    QPushButton* minus_ = nullptr;
    QPushButton* plus_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::array<QPushButton*, common::CalendarModel::kCells> days_{};
    std::array<common::Date, common::CalendarModel::kCells> dates_{};
    bool redrawing_ = false;
};

// Runs the calendar modally; the chosen date, or the empty date when it was closed.
common::Date pick_date(common::Date start, common::Date report_date, common::Date today, const QString& title,
                       QWidget* parent = nullptr);

}  // namespace gui::qt
