// The program's start on the scripted backend: a fresh installation, the menu's enabling
// from the user's permissions, a missing period index, a deleted payroll table, entries not
// built yet and the way out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/menu.hpp"
#include "app/startup.hpp"
#include "data/workspace.hpp"
#include "gui/headless.hpp"
#include "gui/mainwin.hpp"
#include "masters/company_init.hpp"
#include "ui/program.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;
using gui::EventKind;

namespace {

struct Install {
    fs::path root;
    masters::InitResult info;
    explicit Install(bool demo = true) {
        char tmpl[] = "/tmp/planilla-start-XXXXXX";
        root = mkdtemp(tmpl);
        masters::InitOptions o;
        o.program_dir = (root / "prog").string();
        o.data_dir = (root / "prog" / "EMP01").string();
        o.demo = demo;
        info = masters::init_company(o);
    }
    ~Install() { fs::remove_all(root); }
    std::string prog() const { return info.program_dir; }
    std::string data() const { return info.data_dir; }
};

struct StartRun {
    app::Session s;
    data::Workspace ws;
    gui::ScriptedUi ui;
    gui::FixedClock clock{common::date_from_ymd(2011, 5, 20)};
    app::Context c{s, ws, ui, clock, ui.shell()};
    explicit StartRun(const Install& in) {
        s.RutaP = in.prog();
        s.RutaW = in.prog();
    }
    app::StartResult start() { return app::MAIN(c, ui::standard_screens()); }
};

// The pre-filled login: press accept.
void login(gui::ScriptedUi& ui) { ui.dialog("D_LOGIN").press(175); }

}  // namespace

TEST(Startup, FirstStartSeedsTheUserAndShowsTheMainWindow) {
    Install in;
    StartRun r(in);
    login(r.ui);
    std::string title;
    bool payslips_enabled = false;
    r.ui.in_main([&](gui::MainWindow& w) {
        title = w.title;
        payslips_enabled = w.find({"Procesos", "Boletas de Pago"})->enabled();
    });
    r.ui.choose({"Archivos", "Salir"});
    r.ui.answer(true);
    EXPECT_EQ(r.start(), app::StartResult::Ran);
    r.ui.expect_done();
    EXPECT_EQ(r.s.TOPUSER.substr(0, 4), "KARU");
    EXPECT_EQ(r.s.CPERMIS1, std::string(254, 'S'));
    EXPECT_TRUE(payslips_enabled);
    EXPECT_EQ(title, app::main_title(r.s));
    EXPECT_NE(title.find(" ** TALVORE PLANILLA  **  "), std::string::npos);
    EXPECT_NE(title.find("/ Periodo : " + in.info.period), std::string::npos);
    EXPECT_TRUE(r.ui.events(EventKind::Alert).empty()) << r.ui.transcript();
    auto q = r.ui.events(EventKind::Question);
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].text, " Desea terminar ?");
    EXPECT_FALSE(r.ws.is_open("Emp"));  // everything closed at the end

    auto users = xbase::Table::open(in.data() + "/USUARIOS.DBF");
    EXPECT_EQ(users->reccount(), 1u);
}

TEST(Startup, MenuFollowsTheUsersPermissionsAndUnbuiltEntriesSaySo) {
    Install in;
    {
        StartRun first(in);
        login(first.ui);
        first.ui.close_main();
        ASSERT_EQ(first.start(), app::StartResult::Ran);
    }
    {
        auto users = xbase::Table::open(in.data() + "/USUARIOS.DBF");
        users->go_top();
        std::string p(254, 'S');
        p[25] = 'N';  // position 26: payslips
        ASSERT_TRUE(users->lock_record());
        users->put_text(users->field_index("PERMIS1"), p);
        users->commit();
        users->unlock_record();
    }
    StartRun r(in);
    login(r.ui);
    r.ui.in_main([&](gui::MainWindow& w) {
        EXPECT_FALSE(w.find({"Procesos", "Boletas de Pago"})->enabled());
        EXPECT_TRUE(w.find({"Procesos", "Planilla Oficial"})->enabled());
        EXPECT_TRUE(w.find({"Archivos", "Mantenimiento de Conceptos"})->enabled());  // always
        EXPECT_FALSE(w.press_tool("Impresión de las Boletas de Pago"));
        EXPECT_EQ(w.menus.size(), 9u);
    });
    r.ui.choose({"Procesos", "Planilla Oficial"});
    r.ui.close_main();
    ASSERT_EQ(r.start(), app::StartResult::Ran);
    auto alerts = r.ui.events(EventKind::Alert);
    ASSERT_EQ(alerts.size(), 1u) << r.ui.transcript();
    EXPECT_EQ(alerts[0].text, "Opción en construcción");
    EXPECT_EQ(alerts[0].title, "Planilla Oficial");
}

TEST(Startup, MissingPeriodIndexRunsTheMaintenanceAndTheNextStartPasses) {
    Install in;
    fs::remove(app::find_file(in.data(), "PERPAG.CDX"));
    {
        StartRun r(in);
        r.ui.answer(true);  // the maintenance's confirmation
        EXPECT_EQ(r.start(), app::StartResult::Maintenance);
        r.ui.expect_done();
        auto alerts = r.ui.events(EventKind::Alert);
        ASSERT_GE(alerts.size(), 2u) << r.ui.transcript();
        EXPECT_EQ(alerts.front().text, "Inicio de Indexamientos");
        EXPECT_EQ(alerts.back().text, "Fin de Indexamientos");
    }
    EXPECT_FALSE(app::find_file(in.data(), "PERPAG.CDX").empty());
    StartRun again(in);
    login(again.ui);
    again.ui.close_main();
    EXPECT_EQ(again.start(), app::StartResult::Ran) << again.ui.transcript();
}

TEST(Startup, DeletedPayrollTableIsRecreatedFromTheTemplate) {
    Install in;
    std::string table = "H1" + in.info.period;
    fs::remove(app::find_file(in.data(), table + ".DBF"));
    StartRun r(in);
    login(r.ui);
    r.ui.close_main();
    ASSERT_EQ(r.start(), app::StartResult::Ran) << r.ui.transcript();
    auto alerts = r.ui.events(EventKind::Alert);
    ASSERT_EQ(alerts.size(), 1u) << r.ui.transcript();
    EXPECT_EQ(alerts[0].title, "Se regenera");
    EXPECT_EQ(alerts[0].text, "Archivo Rem " + (fs::path(in.data()) / (table + ".DBF")).string() + " No Existe");
    auto t = xbase::Table::open(app::find_file(in.data(), table + ".DBF"));
    EXPECT_EQ(t->reccount(), 0u);
    EXPECT_GT(t->tag_count(), 0u);
}

TEST(Startup, MissingPayrollIndexIsRebuiltKeepingTheRows) {
    Install in;
    std::string table = "H1" + in.info.period;
    uint32_t rows = xbase::Table::open(app::find_file(in.data(), table + ".DBF"))->reccount();
    ASSERT_GT(rows, 0u);  // the demo month has a row per active employee
    fs::remove(app::find_file(in.data(), table + ".CDX"));
    StartRun r(in);
    login(r.ui);
    r.ui.close_main();
    ASSERT_EQ(r.start(), app::StartResult::Ran) << r.ui.transcript();
    auto alerts = r.ui.events(EventKind::Alert);
    ASSERT_EQ(alerts.size(), 1u) << r.ui.transcript();
    EXPECT_EQ(alerts[0].title, "Se regenera");
    auto t = xbase::Table::open(app::find_file(in.data(), table + ".DBF"));
    EXPECT_EQ(t->reccount(), rows);
    EXPECT_EQ(t->tag_count(), 9u);
    EXPECT_TRUE(t->check_indexes().empty());
}

TEST(Startup, ChecksThatEndTheProgram) {
    struct Case {
        const char* what;
        std::function<void(const Install&)> damage;
        const char* text;
        const char* title;
        app::StartResult result;
    };
    std::vector<Case> cases = {
        {"no path table", [](const Install& in) { fs::remove(app::find_file(in.prog(), "VIA.DBF")); },
         "Archivos Via no existen", "Revisar", app::StartResult::Ended},
        {"no period table", [](const Install& in) { fs::remove(app::find_file(in.data(), "PERPAG.DBF")); },
         "Revisar :", "Directorio o Archivos no existen", app::StartResult::Ended},
        {"no company table", [](const Install& in) { fs::remove(app::find_file(in.data(), "EMPRESA.DBF")); },
         "Directorio no Existe ====>>> ( ", "Revisar las RUTAS del archivo VIA", app::StartResult::Ended},
        {"a drive letter in the path table",
         [](const Install& in) {
             auto via = xbase::Table::open(app::find_file(in.prog(), "VIA.DBF"));
             via->go_top();
             ASSERT_TRUE(via->lock_record());
             via->put_text(via->field_index("VIRUTA"), "C:\\PLANILLA\\EMP01");
             via->commit();
             via->unlock_record();
         },
         "Directorio no Existe ====>>> ( C:\\PLANILLA\\EMP01 )", "Revisar las RUTAS del archivo VIA",
         app::StartResult::Ended},
    };
    for (const auto& c : cases) {
        Install in;
        c.damage(in);
        StartRun r(in);
        EXPECT_EQ(r.start(), c.result) << c.what;
        auto alerts = r.ui.events(EventKind::Alert);
        ASSERT_EQ(alerts.size(), 1u) << c.what << "\n" << r.ui.transcript();
        EXPECT_EQ(alerts[0].text.rfind(c.text, 0), 0u) << c.what << ": " << alerts[0].text;
        EXPECT_EQ(alerts[0].title, c.title) << c.what;
    }
}

TEST(Startup, DisplayParameters) {
    struct Case {
        const char* tb;
        int font;
        bool xls;
        int xorden, yorden;
    } cases[] = {{"05 0", 8, true, 2, 3}, {"1500", 8, false, 2, 3}, {"1011", 10, true, 6, 6}, {"", 8, true, 6, 6}};
    for (const auto& c : cases) {
        app::Session s;
        app::read_tbpargen(s, c.tb);
        EXPECT_EQ(s.NNUMFONT, c.font) << c.tb;
        EXPECT_EQ(s.CSWEXC, c.xls) << c.tb;
        EXPECT_EQ(s.XCORDEN, c.xorden) << c.tb;
        EXPECT_EQ(s.YCORDEN, c.yorden) << c.tb;
    }
    EXPECT_EQ(app::path_from_via("C:\\PLANILLA\\EMP01"), "");
    EXPECT_EQ(app::path_from_via("/srv/planilla\\EMP01\\  "), "/srv/planilla/EMP01");
}
