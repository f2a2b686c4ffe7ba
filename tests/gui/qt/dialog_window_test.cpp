// The dialog builder driven through real widgets: typing, clicks and keys go to the widgets
// and must arrive in the Dialog model (and back) as the scripted backend would have them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <filesystem>

#include "gui/browse.hpp"
#include "gui/dialog.hpp"
#include "gui/master_frame.hpp"
#include "gui/qt/browse_view.hpp"
#include "gui/qt/calendar_dialog.hpp"
#include "gui/qt/demo/demo_screens.hpp"
#include "gui/qt/dialog_window.hpp"
#include "gui/qt/icons.hpp"
#include "gui/qt/qt_ui.hpp"
#include "gui/ui.hpp"
#include "qt_support.hpp"
#include "xbase/table.hpp"

namespace {

using namespace gui;
using namespace gui::demo::ids;
using gui::qt::DialogWindow;
using qt_support::on_next_modal;
using qt_support::show_active;

const common::Date kToday = common::date_from_ymd(2024, 1, 10);

template <class W>
W* at(const DialogWindow& w, int id) {
    auto* x = qobject_cast<W*>(w.widget(id));
    EXPECT_NE(x, nullptr) << "control " << id;
    return x;
}

QWidget* focused() { return QApplication::focusWidget(); }

// The focus once `window` is active again (after a message box closed).
QWidget* focus_back(QWidget* window) {
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    return QApplication::focusWidget();
}

// Typing, accented letters included (QTest's own key clicks know only ASCII).
void type(QWidget* w, const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 128) QTest::keyClicks(w, QString(c));
        else QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// The worker's record in its window, shown and active.
struct Screen {
    FixedClock clock{kToday};
    Dialog d{demo::worker_template()};
    std::unique_ptr<DialogWindow> w;

    void open() {
        w = std::make_unique<DialogWindow>(d, clock);
        w->begin();
        ASSERT_TRUE(show_active(*w));
    }
    QLineEdit* edit(int id) const { return at<QLineEdit>(*w, id); }
    void type_into(int id, const QString& text) {
        QTest::mouseClick(edit(id), Qt::LeftButton);
        edit(id)->selectAll();
        type(edit(id), text);
    }
};

TEST(DialogWindow, TypedValuesReachTheModelThroughTheirPictures) {
    Screen s;
    s.d.set_selected(kState, 1);
    s.open();

    // "@!" upper-cases as typed, accents included; the width caps the text.
    s.type_into(kName, QString::fromUtf8("josé pérez"));
    EXPECT_EQ(s.d.text(kName), "JOSÉ PÉREZ");
    EXPECT_EQ(s.edit(kName)->text(), QString::fromUtf8("JOSÉ PÉREZ"));
    s.type_into(kName, QString(40, QLatin1Char('a')));
    EXPECT_EQ(s.d.text(kName), std::string(30, 'A'));

    // Tab goes on in id order; "9999" takes digits only.
    QTest::keyClick(s.edit(kName), Qt::Key_Tab);
    ASSERT_EQ(focused(), s.edit(kYear));
    EXPECT_EQ(s.d.focused(), kYear);
    QTest::keyClicks(s.edit(kYear), "20x11");
    QTest::keyClick(s.edit(kYear), Qt::Key_Tab);
    EXPECT_EQ(s.d.number(kYear), 2011);

    // A number is handed over when the field is left, then shown through its picture;
    // back in the field it is plain digits again.
    ASSERT_EQ(focused(), s.edit(kSalary));
    QTest::keyClicks(s.edit(kSalary), "1234.567");  // the third decimal is refused
    QTest::keyClick(s.edit(kSalary), Qt::Key_Tab);
    EXPECT_DOUBLE_EQ(s.d.number(kSalary), 1234.56);
    EXPECT_EQ(s.edit(kSalary)->text(), "  1,234.56");
    EXPECT_EQ(s.edit(kSalary)->alignment() & Qt::AlignRight, Qt::AlignRight);

    // Dates type into dd/mm/yyyy.
    ASSERT_EQ(focused(), s.edit(kHired));
    QTest::keyClicks(s.edit(kHired), "15032024");
    QTest::keyClick(s.edit(kHired), Qt::Key_Tab);
    EXPECT_EQ(s.d.date(kHired), common::date_from_ymd(2024, 3, 15));
    EXPECT_EQ(s.edit(kHired)->displayText(), "15/03/2024");

    // Enter moves on as Tab does; the password is masked.
    ASSERT_EQ(focused(), s.edit(kPassword));
    EXPECT_EQ(s.edit(kPassword)->echoMode(), QLineEdit::Password);
    QTest::keyClicks(s.edit(kPassword), "ab1");
    EXPECT_EQ(s.d.text(kPassword), "ab1");
    QTest::keyClick(s.edit(kPassword), Qt::Key_Return);
    EXPECT_EQ(focused(), s.w->widget(kState));

    QTest::keyClick(s.w->widget(kState), Qt::Key_Down);
    EXPECT_EQ(s.d.selected(kState), 2);
    QTest::mouseClick(s.w->widget(kForeign), Qt::LeftButton);
    EXPECT_TRUE(s.d.checked(kForeign));
    QTest::mouseClick(s.w->radio_option(kSex, 2), Qt::LeftButton);
    EXPECT_EQ(s.d.selected(kSex), 2);

    QTest::mouseClick(s.edit(kSalary), Qt::LeftButton);
    EXPECT_EQ(s.edit(kSalary)->text(), "1234.56");

    // And from the model to the widgets.
    s.d.set_number(kYear, 2012);
    s.d.set_checked(kForeign, false);
    s.d.set_selected(kSex, 1);
    s.d.set_selected(kState, 7);
    EXPECT_EQ(s.edit(kYear)->text(), "2012");
    EXPECT_FALSE(at<QCheckBox>(*s.w, kForeign)->isChecked());
    EXPECT_TRUE(s.w->radio_option(kSex, 1)->isChecked());
    EXPECT_EQ(at<QComboBox>(*s.w, kState)->currentText(), "7 Cesado");
    // "@Z": zero shows blank.
    EXPECT_EQ(s.edit(kHours)->text().trimmed(), "");
}

TEST(DialogWindow, RefusedValidationKeepsTheFocusAndBlocksButtons) {
    Screen s;
    FixedClock clock{kToday};
    qt::QtUi ui(clock);
    int saved = 0;
    std::vector<QString> alerts;
    s.d.on_valid(kYear, [&] {
        double y = s.d.number(kYear);
        if (y >= 2006 && y <= 2014) return true;
        ui.alert("Año fuera de rango", "Revisar");
        return false;
    });
    s.d.on_button(kSave, [&] { ++saved; });
    s.d.on_button(kExit, [&] { s.d.close(0); });
    s.d.skip_validation(kExit);
    s.d.set_number(kYear, 2010);
    s.open();
    auto answer_alert = [&] {
        on_next_modal(s.w.get(), [&](QWidget* m) {
            auto* box = qobject_cast<QMessageBox*>(m);
            ASSERT_NE(box, nullptr);
            alerts.push_back(box->text());
            EXPECT_EQ(box->buttons().size(), 1);
            box->buttons().front()->click();
        });
    };

    s.type_into(kYear, "2015");
    answer_alert();
    QTest::keyClick(s.edit(kYear), Qt::Key_Tab);
    EXPECT_EQ(focus_back(s.w.get()), s.edit(kYear));
    EXPECT_EQ(s.d.focused(), kYear);

    // A click into another field is refused too, and does not reach that field.
    answer_alert();
    QTest::mouseClick(s.w->widget(kForeign), Qt::LeftButton);
    EXPECT_EQ(focus_back(s.w.get()), s.edit(kYear));
    EXPECT_FALSE(s.d.checked(kForeign));

    answer_alert();
    QTest::mouseClick(s.w->widget(kSave), Qt::LeftButton);
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(focus_back(s.w.get()), s.edit(kYear));
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(alerts[0], QString::fromUtf8("Año fuera de rango"));

    s.edit(kYear)->selectAll();
    QTest::keyClicks(s.edit(kYear), "2013");
    QTest::mouseClick(s.w->widget(kSave), Qt::LeftButton);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(s.d.number(kYear), 2013);

    // The exit button does not validate.
    s.edit(kYear)->selectAll();
    QTest::keyClicks(s.edit(kYear), "1999");
    QTest::mouseClick(s.w->widget(kExit), Qt::LeftButton);
    EXPECT_TRUE(s.d.closed());
    EXPECT_FALSE(s.w->isVisible());
    EXPECT_EQ(alerts.size(), 3u);
}

TEST(DialogWindow, EnablingRulesAndVisibilityFollowTheModel) {
    Screen s;
    s.d.when(kPassword, [&] { return !s.d.text(kName).empty(); });
    s.d.when(kSave, [&] { return s.d.checked(kForeign); });
    s.open();
    EXPECT_FALSE(s.edit(kPassword)->isEnabled());
    EXPECT_FALSE(s.w->caption(kPassword)->isEnabled());
    EXPECT_FALSE(s.w->widget(kSave)->isEnabled());

    s.type_into(kName, "A");
    EXPECT_TRUE(s.edit(kPassword)->isEnabled());
    QTest::mouseClick(s.w->widget(kForeign), Qt::LeftButton);
    EXPECT_TRUE(s.w->widget(kSave)->isEnabled());
    QTest::keyClick(s.edit(kName), Qt::Key_Backspace);
    EXPECT_FALSE(s.edit(kPassword)->isEnabled());

    s.d.hide(kHired);
    EXPECT_TRUE(s.edit(kHired)->isHidden());
    EXPECT_TRUE(s.w->caption(kHired)->isHidden());
    EXPECT_TRUE(s.w->calendar_button(kHired)->isHidden());
}

TEST(DialogWindow, EscapeClosesUnlessTheScreenSaysOtherwise) {
    for (bool closes : {true, false}) {
        Screen s;
        s.d.set_escape_closes(closes);
        s.open();
        QTest::keyClick(s.edit(kName), Qt::Key_Escape);
        EXPECT_EQ(s.d.closed(), closes);
        EXPECT_EQ(s.w->isVisible(), !closes);
        if (closes) {
            EXPECT_EQ(s.w->result(), 0);
        }
    }
}

TEST(DialogWindow, TabPagesFollowClicksAndTheFocus) {
    Screen s;
    s.d.set_browse(kList, std::make_shared<Browse>(std::make_shared<ArraySource>(
                                                       std::vector<std::vector<std::string>>{{"1"}, {"2"}}),
                                                   std::vector<BrowseColumn>{}));
    s.open();
    auto* folder = at<QTabWidget>(*s.w, kFolder);
    ASSERT_EQ(folder->count(), 2);
    EXPECT_EQ(folder->tabText(1), "&Personal");
    QTabBar* bar = folder->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_EQ(s.d.selected(kFolder), 2);
    EXPECT_TRUE(s.w->widget(kList)->isVisible());

    s.d.set_selected(kFolder, 1);
    EXPECT_EQ(folder->currentIndex(), 0);
    // The screen moving the focus to a field of the other page shows that page.
    s.d.focus(kList);
    EXPECT_EQ(folder->currentIndex(), 1);
    EXPECT_EQ(s.d.selected(kFolder), 2);
    EXPECT_EQ(focused(), s.w->widget(kList));
}

TEST(DialogWindow, ButtonsShowTheirPictureWhenInstalled) {
    QTemporaryDir dir;
    QPixmap pm(16, 16);
    pm.fill(Qt::red);
    ASSERT_TRUE(pm.save(dir.path() + "/GRABAR.png"));
    qt::add_icon_dir(dir.path());
    Screen s;
    s.open();
    auto* save = at<QPushButton>(*s.w, kSave);
    auto* exit = at<QPushButton>(*s.w, kExit);
    EXPECT_FALSE(save->icon().isNull());  // "grabar" found as GRABAR.png
    EXPECT_TRUE(exit->icon().isNull());
    EXPECT_EQ(exit->text(), "&Salir");
    EXPECT_EQ(save->toolTip(), "Grabar los cambios");
    EXPECT_EQ(s.w->caption(kName)->buddy(), s.edit(kName));
}

// --- the browse over a table ---

class TableBrowse : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const char* ext : {".dbf", ".cdx"})
            std::filesystem::copy_file(std::string(PLANILLA_FIXTURES) + "/xbase/PERSONAL" + ext,
                                       dir_.path().toStdString() + "/PERSONAL" + ext);
        table_ = xbase::Table::open(dir_.path().toStdString() + "/PERSONAL");
    }
    // Records shown by the employee list, counted straight from the file.
    size_t expected_rows() {
        auto t = xbase::Table::open(dir_.path().toStdString() + "/PERSONAL", {false, true});
        t->set_show_deleted(true);
        int state = t->field_index("PEACTIVI");
        size_t n = 0, deleted = 0;
        for (t->go_top(); !t->eof(); t->skip(1)) {
            if (t->deleted()) ++deleted;
            else if (t->get_number(state) < 7) ++n;
        }
        EXPECT_GT(deleted, 0u);
        return n;
    }

    // The record of the n-th row of the employee list (0-based), found independently.
    uint32_t shown_record(size_t n) {
        auto t = xbase::Table::open(dir_.path().toStdString() + "/PERSONAL", {false, true});
        t->set_order("PER1");
        int state = t->field_index("PEACTIVI");
        size_t i = 0;
        for (t->go_top(); !t->eof(); t->skip(1))
            if (t->get_number(state) < 7 && i++ == n) return t->recno();
        return 0;
    }

    QTemporaryDir dir_;
    std::unique_ptr<xbase::Table> table_;
};

TEST_F(TableBrowse, RowsLoadLazilyWithFilterAndDeletedHidden) {
    size_t expected = expected_rows();
    Dialog d(master_template("Personal"));
    auto browse = demo::employee_browse(*table_);
    d.set_browse(master_ids::kBrowse, browse);
    FixedClock clock{kToday};
    DialogWindow w(d, clock);
    w.begin();
    ASSERT_TRUE(show_active(w));
    qt::BrowseView* view = w.browse_view(master_ids::kBrowse);
    ASSERT_NE(view, nullptr);
    auto* model = view->browse_model();
    EXPECT_EQ(model->columnCount(), 6);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8("Código"));
    EXPECT_EQ(model->data(model->index(0, 4), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
    ASSERT_LT(static_cast<size_t>(model->rowCount()), expected);
    while (model->canFetchMore({})) model->fetchMore({});
    EXPECT_EQ(static_cast<size_t>(model->rowCount()), expected);

    int code = table_->field_index("PECODEMP");
    int state = table_->field_index("PEACTIVI");
    std::string previous;
    for (int r = 0; r < model->rowCount(); ++r) {
        table_->go_to(static_cast<uint32_t>(browse->source().row_key(static_cast<size_t>(r))));
        ASSERT_FALSE(table_->deleted());
        ASSERT_LT(table_->get_number(state), 7);
        std::string c = table_->get_text(code);
        ASSERT_LE(previous, c);  // PER1 order
        previous = c;
    }
}

TEST_F(TableBrowse, SelectionAndKeysReachTheScreen) {
    Dialog d(master_template("Personal"));
    auto browse = demo::employee_browse(*table_);
    d.set_browse(master_ids::kBrowse, browse);
    int enter = 0, insert = 0, remove = 0;
    browse->on_enter([&] { ++enter; });
    browse->on_insert([&] { ++insert; });
    browse->on_delete([&] { ++remove; });
    d.on_init([&] { d.focus(master_ids::kBrowse); });
    FixedClock clock{kToday};
    DialogWindow w(d, clock);
    w.begin();
    ASSERT_TRUE(show_active(w));
    qt::BrowseView* view = w.browse_view(master_ids::kBrowse);
    ASSERT_EQ(focused(), view);

    // A click highlights the row and moves the table to its record.
    QRect cell = view->visualRect(view->model()->index(5, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(browse->selected(), std::optional<size_t>(5));
    EXPECT_EQ(table_->recno(), browse->source().row_key(5));

    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(browse->selected(), std::optional<size_t>(6));
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClick(view, Qt::Key_Insert);
    QTest::keyClick(view, Qt::Key_Delete);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(enter, 2);
    EXPECT_EQ(insert, 1);
    EXPECT_EQ(remove, 1);

    // The screen moving the table (a search) and refreshing moves the highlight, also far
    // beyond the rows loaded so far.
    uint32_t rec = shown_record(1500);
    ASSERT_NE(rec, 0u);
    ASSERT_LT(static_cast<size_t>(view->model()->rowCount()), 1500u);
    table_->go_to(rec);
    d.refresh(master_ids::kBrowse);
    ASSERT_TRUE(browse->selected());
    EXPECT_EQ(*browse->selected(), 1500u);
    EXPECT_EQ(view->currentIndex().row(), 1500);
    EXPECT_EQ(table_->recno(), rec);
}

// --- calendar ---

TEST(Calendar, PicksADayAndMovesByMonthAndYear) {
    qt::CalendarDialog cal(common::date_from_ymd(2024, 1, 31), common::kEmptyDate, kToday, "Fecha");
    ASSERT_TRUE(show_active(cal));
    // January 2024 starts on a Monday: the grid starts on Sunday 31 December 2023.
    EXPECT_EQ(cal.day_button(0)->text(), "31");
    EXPECT_EQ(cal.day_button(10)->toolTip(), "Today");  // 10 January
    EXPECT_EQ(cal.day_button(31)->toolTip(), "Selected");
    EXPECT_TRUE(cal.day_button(31)->isChecked());
    EXPECT_EQ(cal.day_button(32)->toolTip(), "01/02/2024");
    EXPECT_EQ(cal.month_combo()->currentText(), "Enero");

    cal.month_combo()->setCurrentIndex(1);  // Febrero: day 31 becomes the 29th
    EXPECT_EQ(cal.model().selected(), common::date_from_ymd(2024, 2, 29));
    QTest::mouseClick(cal.next_year_button(), Qt::LeftButton);
    EXPECT_EQ(cal.year_label()->text(), "2025");
    EXPECT_EQ(cal.model().selected(), common::date_from_ymd(2025, 2, 28));

    // February 2025 starts on a Saturday: cell 6 is the 1st, cell 19 the 14th.
    QTest::mouseClick(cal.day_button(19), Qt::LeftButton);
    EXPECT_EQ(cal.chosen(), common::date_from_ymd(2025, 2, 14));
    EXPECT_EQ(cal.result(), QDialog::Accepted);

    qt::CalendarDialog closed(common::kEmptyDate, common::date_from_ymd(2011, 5, 2), kToday, "Fecha");
    EXPECT_EQ(closed.model().selected(), common::date_from_ymd(2011, 5, 2));  // the report date
    closed.reject();
    EXPECT_EQ(closed.chosen(), common::kEmptyDate);
}

TEST(Calendar, TheDateFieldsButtonFillsTheField) {
    Screen s;
    s.d.set_date(kHired, common::date_from_ymd(2011, 3, 16));
    s.open();
    bool seen = false;
    on_next_modal(s.w.get(), [&](QWidget* m) {
        auto* cal = qobject_cast<qt::CalendarDialog*>(m);
        ASSERT_NE(cal, nullptr);
        seen = true;
        EXPECT_EQ(cal->windowTitle(), "Fecha de ingreso");
        QTest::mouseClick(cal->ok_button(), Qt::LeftButton);  // the date it opened on
    });
    QTest::mouseClick(s.w->calendar_button(kHired), Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(s.d.date(kHired), common::date_from_ymd(2011, 3, 16));
    EXPECT_EQ(s.d.focused(), kHired);
    on_next_modal(s.w.get(), [&](QWidget* m) {
        auto* cal = qobject_cast<qt::CalendarDialog*>(m);
        ASSERT_NE(cal, nullptr);
        QTest::mouseClick(cal->day_button(23), Qt::LeftButton);  // the grid starts on Sunday 27 February
    });
    QTest::mouseClick(s.w->calendar_button(kHired), Qt::LeftButton);
    EXPECT_EQ(s.d.date(kHired), common::date_from_ymd(2011, 3, 22));
    EXPECT_EQ(s.edit(kHired)->displayText(), "22/03/2011");
}

// --- the Ui port's modal windows ---

TEST(QtUi, PromptAndQuestions) {
    FixedClock clock{kToday};
    qt::QtUi ui(clock);
    PromptSpec request;
    request.title = "Buscar por";
    request.label = "Codigo";
    request.picture = "@!";
    request.width = 4;
    on_next_modal(nullptr, [](QWidget* m) {
        auto* e = m->findChild<QLineEdit*>();
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->maxLength(), 4);
        QTest::keyClicks(e, "ab12x");
        QTest::keyClick(e, Qt::Key_Return);
    });
    EXPECT_EQ(ui.prompt(request), std::optional<std::string>("AB12"));
    on_next_modal(nullptr, [](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); });
    EXPECT_EQ(ui.prompt(request), std::nullopt);

    // Enter takes the default answer: No for a destructive question, Sí otherwise.
    for (auto [text, yes] : {std::pair{"Atención:\n¿ Está seguro de querer borrar este Código ?", false},
                             std::pair{" Desea terminar ?", true}}) {
        on_next_modal(nullptr, [](QWidget* m) {
            auto* box = qobject_cast<QMessageBox*>(m);
            ASSERT_NE(box, nullptr);
            QStringList names;
            for (auto* b : box->buttons()) names << b->text();
            names.sort();
            EXPECT_EQ(names, (QStringList{"No", QString::fromUtf8("Sí")}));
            QTest::keyClick(box, Qt::Key_Return);
        });
        EXPECT_EQ(ui.ask(text, "Personal"), yes) << text;
    }
}

TEST(QtUi, ProgressAndTimedNotice) {
    FixedClock clock{kToday};
    qt::QtUi ui(clock);
    auto window = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->isVisible()) return p;
        return static_cast<QProgressDialog*>(nullptr);
    };
    {
        Progress p(ui, "Cálculo de la Planilla", "Procesando", 1000);
        for (int i = 0; i < 500; ++i) p.step();
        QProgressDialog* w = window();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Cálculo de la Planilla"));
        EXPECT_EQ(w->value(), 500);
        EXPECT_EQ(w->maximum(), 1000);
    }
    EXPECT_EQ(window(), nullptr);

    // The notice closes by itself; nobody answers it.
    QString seen;
    on_next_modal(nullptr, [&](QWidget* m) { seen = m->windowTitle(); });
    QElapsedTimer t;
    t.start();
    ui.notice("Registro grabado", "Grabar", 1);
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_EQ(seen, "Grabar");
}

}  // namespace
