// The main window drawn from a gui::MainWindow: menu and tool-bar enabling by a permission
// string, status bar, closing through the title bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <string>

#include "gui/headless.hpp"
#include "gui/mainwin.hpp"
#include "gui/qt/main_frame.hpp"
#include "gui/qt/qt_ui.hpp"
#include "gui/ui.hpp"
#include "qt_support.hpp"

namespace {

using namespace gui;
using qt_support::show_active;

// A menu whose entries ask positions of a permission string, as the program's menu does.
struct Fixture {
    std::string perms = "SNSN";
    FixedClock clock{common::date_from_ymd(2011, 5, 9)};
    MainWindow w;
    int banks = 0, calc = 0;

    std::function<bool()> perm(size_t pos) {
        return [this, pos] { return perms.size() >= pos && perms[pos - 1] == 'S'; };
    }
    Fixture() {
        w.title = "DEMO ** PLANILLA  **  May / 2011 / Periodo : 201105";
        w.status = "TALLER";
        MenuItem files;
        files.prompt = "&Archivos";
        files.children = {{"&Empresas", "Mantenimiento de Empresas", [] {}, perm(1), {}, false},
                          MenuItem::separator_line(),
                          {"&Bancos", "Mantenimiento de Bancos", [this] { ++banks; }, perm(2), {}, false},
                          {"&Conceptos P D T", "", {}, perm(3), {
                               {"Conceptos P D T", "Mantenimiento de Conceptos del P D T", [] {}, perm(4), {}, false},
                           }, false},
                          {"&Salir", "Finalizar el Sistema", [this] { w.close(); }, {}, {}, false}};
        MenuItem other;
        other.prompt = "&Procesos";
        other.condition = perm(4);
        other.children = {{"&Boletas de Pago", "Impresión de las boletas", [] {}, {}, {}, false}};
        w.menus = {files, other};
        w.tools = {{"calc", "Calculadora", [this] { ++calc; }, {}},
                   {"Periodo", "Cambio de Periodo", [] {}, perm(2)}};
    }
};

bool shown_enabled(QMenu* menu, QAction* action) {
    menu->popup(QPoint(0, 0));
    bool on = action->isEnabled();
    menu->hide();
    return on;
}

TEST(MainFrame, MenuAndToolsFollowThePermissionString) {
    Fixture f;
    qt::MainFrame frame(f.w, f.clock);
    ASSERT_TRUE(show_active(frame));
    QMenu* files = frame.menu({"Archivos"});
    ASSERT_NE(files, nullptr);
    QAction* banks = frame.action({"Archivos", "Bancos"});
    QAction* companies = frame.action({"&Archivos", "&Empresas"});
    QAction* pdt = frame.action({"Archivos", "Conceptos P D T"});
    ASSERT_TRUE(banks && companies && pdt);
    EXPECT_EQ(banks->statusTip(), "Mantenimiento de Bancos");
    EXPECT_EQ(files->actions().at(1)->isSeparator(), true);
    ASSERT_NE(pdt->menu(), nullptr);

    EXPECT_TRUE(shown_enabled(files, companies));
    EXPECT_FALSE(shown_enabled(files, banks));
    EXPECT_TRUE(shown_enabled(files, pdt));
    EXPECT_FALSE(frame.action({"Procesos"})->isEnabled());
    EXPECT_FALSE(frame.tool("Cambio de Periodo")->isEnabled());

    // A new login: the conditions are asked again when the menu is shown, the tool bar and
    // the top menus after the next action.
    f.perms = "NSNS";
    EXPECT_FALSE(shown_enabled(files, companies));
    EXPECT_TRUE(shown_enabled(files, banks));
    EXPECT_FALSE(shown_enabled(files, pdt));
    frame.tool("Calculadora")->trigger();
    EXPECT_EQ(f.calc, 1);
    EXPECT_TRUE(frame.tool("Cambio de Periodo")->isEnabled());
    EXPECT_TRUE(frame.action({"Procesos"})->isEnabled());
    banks->trigger();
    EXPECT_EQ(f.banks, 1);

    // An entry disabled since the menu was drawn does not run.
    f.perms = "NNNN";
    banks->trigger();
    EXPECT_EQ(f.banks, 1);
}

TEST(MainFrame, StatusTitleAndKeyboardState) {
    Fixture f;
    qt::MainFrame frame(f.w, f.clock);
    ASSERT_TRUE(show_active(frame));
    EXPECT_EQ(frame.windowTitle(), QString::fromStdString(f.w.title));
    EXPECT_EQ(frame.status_label()->text(), "TALLER");
    EXPECT_EQ(frame.date_label()->text(), "09/05/2011");
    f.w.set_status("Otro mensaje");
    f.w.set_title("NUEVO TITULO");
    EXPECT_EQ(frame.status_label()->text(), "Otro mensaje");
    EXPECT_EQ(frame.windowTitle(), "NUEVO TITULO");

    EXPECT_EQ(frame.keys_label()->text(), "INS");
    QTest::keyClick(&frame, Qt::Key_Insert);
    EXPECT_EQ(frame.keys_label()->text(), "SOB");
    QTest::keyClick(&frame, Qt::Key_Insert);
    EXPECT_EQ(frame.keys_label()->text(), "INS");
}

TEST(MainFrame, ClosingAsksTheModelAndEndsAfterAnExitEntry) {
    Fixture f;
    bool allow = false;
    int asked = 0;
    f.w.on_close_request = [&] {
        ++asked;
        return allow;
    };
    {
        qt::MainFrame frame(f.w, f.clock);
        ASSERT_TRUE(show_active(frame));
        int closed = 0;
        QObject::connect(&frame, &qt::MainFrame::closed, [&] { ++closed; });
        EXPECT_FALSE(frame.close());
        EXPECT_TRUE(frame.isVisible());
        EXPECT_FALSE(f.w.closed());
        allow = true;
        EXPECT_TRUE(frame.close());
        EXPECT_TRUE(f.w.closed());
        EXPECT_EQ(asked, 2);
        EXPECT_EQ(closed, 1);
    }
    // "Salir" closes the model itself; the window follows without asking again.
    f.w.reopen();
    qt::MainFrame frame(f.w, f.clock);
    ASSERT_TRUE(show_active(frame));
    frame.action({"Archivos", "Salir"})->trigger();
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(asked, 2);
}

TEST(QtShell, AProgramThatCannotStartIsAnAlert) {
    ScriptedUi ui;
    qt::QtShell shell(ui);
    EXPECT_FALSE(shell.start("/nonexistent/planilla-program", {"a b", "c"}));
    EXPECT_FALSE(shell.start("", {}));
    auto alerts = ui.events(EventKind::Alert);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].text, "No se pudo ejecutar /nonexistent/planilla-program");
    EXPECT_EQ(alerts[0].title, "Revisar");
    // Arguments travel as a vector: a blank inside one is no separator, nothing is a shell.
    EXPECT_TRUE(shell.start("/bin/true", {"a b; echo x"}));
    EXPECT_EQ(ui.events(EventKind::Alert).size(), 2u);
}

}  // namespace
