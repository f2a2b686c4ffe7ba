#include "gui/qt/calendar_dialog.hpp"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt/qt_text.hpp"

namespace gui::qt {

CalendarDialog::CalendarDialog(common::Date start, common::Date report_date, common::Date today,
                               const QString& title, QWidget* parent)
    : QDialog(parent), model_(start, report_date, today) {
    setWindowTitle(title.isEmpty() ? QStringLiteral("Calendario") : title);
    auto* top = new QVBoxLayout(this);

    auto* head = new QHBoxLayout;
    month_ = new QComboBox(this);
    for (auto m : common::kCalendarMonths) month_->addItem(qs(m));
    month_->setObjectName("calendar_month");
    minus_ = new QPushButton(QStringLiteral("-"), this);
    plus_ = new QPushButton(QStringLiteral("+"), this);
    year_ = new QLabel(this);
    year_->setAlignment(Qt::AlignCenter);
    year_->setMinimumWidth(year_->fontMetrics().horizontalAdvance(QStringLiteral("00000")));
    for (QPushButton* b : {minus_, plus_}) {
        b->setAutoDefault(false);
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("+")) * 2 + 16);
    }
    head->addWidget(month_, 1);
    head->addSpacing(8);
    head->addWidget(minus_);
    head->addWidget(year_);
    head->addWidget(plus_);
    top->addLayout(head);

    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    // The heading's seven names, one over each column.
    QStringList names = qs(common::kCalendarWeekdays).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int c = 0; c < 7 && c < names.size(); ++c) {
        auto* l = new QLabel(names[c], this);
        l->setAlignment(Qt::AlignCenter);
        grid->addWidget(l, 0, c);
    }
    const int cell_width = fontMetrics().horizontalAdvance(QStringLiteral("Mie")) + 14;
    for (int i = 0; i < common::CalendarModel::kCells; ++i) {
        auto* b = new QPushButton(this);
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setFlat(true);
        b->setFixedWidth(cell_width);
        b->setObjectName(QStringLiteral("calendar_day_%1").arg(i));
        connect(b, &QPushButton::clicked, this, [this, i] { pick(i); });
        days_[static_cast<size_t>(i)] = b;
        grid->addWidget(b, 1 + i / 7, i % 7);
    }
    top->addLayout(grid);

    auto* foot = new QHBoxLayout;
    ok_ = new QPushButton(QStringLiteral("&Ok"), this);
    ok_->setAutoDefault(false);
    foot->addStretch();
    foot->addWidget(ok_);
    top->addLayout(foot);

    connect(month_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (redrawing_ || index < 0) return;
        model_.set_month(index + 1);
        redraw();
    });
    connect(minus_, &QPushButton::clicked, this, [this] {
        model_.previous_year();
        redraw();
    });
    connect(plus_, &QPushButton::clicked, this, [this] {
        model_.next_year();
        redraw();
    });
    connect(ok_, &QPushButton::clicked, this, [this] {
        chosen_ = model_.selected();
        accept();
    });
    redraw();
}

void CalendarDialog::redraw() {
    redrawing_ = true;
    if (model_.selected() != common::kEmptyDate) {
        month_->setCurrentIndex(model_.month() - 1);
        year_->setText(QString::number(model_.year()).rightJustified(4, QLatin1Char('0')));
    }
    auto cells = model_.cells();
    for (size_t i = 0; i < cells.size(); ++i) {
        const common::CalendarCell& cell = cells[i];
        QPushButton* b = days_[i];
        dates_[i] = cell.date;
        b->setText(cell.date == common::kEmptyDate ? QString() : QString::number(common::day_of(cell.date)));
        b->setEnabled(cell.date != common::kEmptyDate);
        b->setChecked(cell.selected);
        b->setToolTip(qs(cell.tooltip()));
        QPalette pal = palette();
        QColor colour = cell.colour() == common::DayColour::Blue    ? QColor(0, 0, 224)
                        : cell.colour() == common::DayColour::Black ? pal.color(QPalette::ButtonText)
                                                                    : QColor(150, 150, 150);
        pal.setColor(QPalette::ButtonText, colour);
        b->setPalette(pal);
        QFont f = font();
        f.setBold(cell.today || cell.selected);
        b->setFont(f);
    }
    redrawing_ = false;
}

void CalendarDialog::pick(int cell) {
    common::Date d = dates_.at(static_cast<size_t>(cell));
    if (d == common::kEmptyDate) return;
    chosen_ = d;
    accept();
}

common::Date pick_date(common::Date start, common::Date report_date, common::Date today, const QString& title,
                       QWidget* parent) {
    CalendarDialog dialog(start, report_date, today, title, parent);
    dialog.exec();
    return dialog.chosen();
}

}  // namespace gui::qt
