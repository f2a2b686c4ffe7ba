// The search, printed list and spreadsheet export of the code-table screens.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "common/routines/text.hpp"
#include "gui/headless.hpp"
#include "gui/print/text_grid.hpp"
#include "tests/routines/company_fixture.hpp"
#include "ui/shared/master_tools.hpp"

using namespace ui::shared;
using namespace fixture;
using common::routines::field_text;
using common::routines::rtrim;

namespace {

void banks(xbase::Table& t) {
    for (auto [code, name] : {std::pair{"011", "CONTINENTAL"}, {"002", "CREDITO"}, {"007", "SCOTIABANK"}}) {
        t.append_blank();
        text(t, "BCCODIGO", code);
        text(t, "BCDESCRI", name);
    }
}

void cost_centres(xbase::Table& t) {
    for (auto [code, name] : {std::pair{"PRO", "PRODUCCIÓN"}, {"ADM", "ADMINISTRACIÓN"}, {"VEN", "VENTAS"}}) {
        t.append_blank();
        text(t, "CTCODIGO", code);
        text(t, "CTDESCRI", name);
    }
}

std::string run(const std::string& cmd, int& rc) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        rc = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    rc = pclose(p);
    return out;
}

}  // namespace

TEST(MasterTools, SearchZeroFillsSeeksNearestAndLeavesExactSeeksAlone) {
    Company co;
    xbase::Table& ban = co.table("BANCOS", banks);
    co.table("CTOCTO", cost_centres);
    gui::ScriptedUi ui;
    const KeySearch code{"Codigo", 3, true};

    ui.reply("7");
    EXPECT_EQ(search_by_key(co.ws, ui, "Ban", code), std::optional<bool>(true));
    EXPECT_EQ(field_text(ban, "BCCODIGO"), "007");
    ui.reply("5");  // "005" is missing: the nearest after it
    EXPECT_EQ(search_by_key(co.ws, ui, "Ban", code), std::optional<bool>(false));
    EXPECT_EQ(field_text(ban, "BCCODIGO"), "007");
    const uint32_t rec = ban.recno();
    ui.cancel_prompt();
    EXPECT_EQ(search_by_key(co.ws, ui, "Ban", code), std::nullopt);
    EXPECT_EQ(ban.recno(), rec);
    auto prompts = ui.events(gui::EventKind::Prompt);
    ASSERT_FALSE(prompts.empty());
    EXPECT_EQ(prompts[0].title, "Buscar por");
    EXPECT_EQ(prompts[0].text, "Codigo");

    // A later seek of a missing key elsewhere still ends at end of file.
    EXPECT_FALSE(co.ws.seek("Cto", "AAA"));
    EXPECT_TRUE(co.ws.area("Cto").eof());

    EXPECT_EQ(search_key("  ADM  ", {"Codigo", 10, false}), "ADM");
    EXPECT_EQ(search_key("ADMINISTRACION", {"Codigo", 10, false}), "ADMINISTRA");
    EXPECT_EQ(search_key("A1", {"Codigo", 3, true}), "A1");
}

TEST(MasterTools, ListPreviewsEveryRecordWithHeadingTitleAndFooter) {
    Company co;
    xbase::Table& cto = co.table("CTOCTO", cost_centres);
    co.session.XEMPRESA = "TEXTIL ANDINA S.A.   ";
    co.ws.seek("Cto", "PRO");
    const uint32_t rec = cto.recno();
    gui::ScriptedUi ui;
    gui::FixedClock today(common::date_from_ymd(2011, 5, 20));
    TableListing l{"Reporte de Centro de Costos",
                   " CENTROS DE COSTO ",
                   4,
                   "Pagina : ",
                   {{"Codigo", "CTCODIGO"}, {"Nombre", "CTDESCRI"}}};
    ASSERT_TRUE(print_table_list(co.session, co.ws, ui, today, "Cto", l));
    ASSERT_EQ(ui.previews().size(), 1u);
    const auto& job = *ui.previews()[0];
    EXPECT_EQ(job.caption(), "Reporte de Centro de Costos");
    auto grid = gui::print::render_text(job);
    EXPECT_TRUE(grid.diagnostics.empty());
    const std::string page = grid.page_text(0);
    EXPECT_NE(page.find("TEXTIL ANDINA S.A.    20/05/2011"), std::string::npos) << page;
    EXPECT_NE(page.find("CENTROS DE COSTO"), std::string::npos);
    const size_t adm = page.find("ADM"), pro = page.find("PRO "), ven = page.find("VEN");
    ASSERT_NE(adm, std::string::npos) << page;
    EXPECT_LT(adm, pro);  // code order
    EXPECT_LT(pro, ven);
    EXPECT_NE(page.find("ADMINISTRACIÓN"), std::string::npos);
    EXPECT_NE(page.find("Pagina :   1"), std::string::npos);
    EXPECT_EQ(cto.recno(), rec);
}

TEST(MasterTools, SpreadsheetOfTheTableInRutaWOpenedWithTheSpreadsheetProgram) {
    Company co;
    xbase::Table& cto = co.table("CTOCTO", cost_centres);
    co.session.XEMPRESA = "TEXTIL ANDINA S.A.   ";
    co.session.XPERPAG = "201105";
    co.ws.seek("Cto", "VEN");
    const uint32_t rec = cto.recno();
    gui::ScriptedUi ui;
    gui::FixedClock today(common::date_from_ymd(2011, 5, 20));
    TableSheet sheet{
        "Cto     ", "RELACION DE C.COSTO", {{"Código", "CTCODIGO", 12, 2}, {"Descripción", "CTDESCRI", 50, 1}}};

    ui.dialog("D_HOJEXC").press(240);  // cancelled: nothing written
    EXPECT_FALSE(export_table_xls(co.session, co.ws, ui, ui.shell(), today, "Cto", sheet));
    EXPECT_FALSE(fs::exists(co.path / "CTO.XLS"));

    ui.dialog("D_HOJEXC").press(175);
    ASSERT_TRUE(export_table_xls(co.session, co.ws, ui, ui.shell(), today, "Cto", sheet));
    const fs::path file = co.path / "CTO.XLS";
    ASSERT_TRUE(fs::exists(file));
    auto shells = ui.events(gui::EventKind::Shell);
    ASSERT_EQ(shells.size(), 1u);
    EXPECT_EQ(shells[0].title, "EXCEL.EXE");
    EXPECT_EQ(shells[0].text, file.string());
    EXPECT_EQ(cto.recno(), rec);

    int rc = 0;
    run("/usr/bin/python3 -c 'import xlrd' 2>/dev/null", rc);
    if (rc != 0) GTEST_SKIP() << "python3-xlrd is not installed";
    const std::string script =
        "import json, sys, xlrd\n"
        "s = xlrd.open_workbook(sys.argv[1], encoding_override='cp1252').sheet_by_index(0)\n"
        "print(json.dumps({'%d,%d' % (r + 1, c + 1): s.cell_value(r, c) for r in range(s.nrows)\n"
        "                  for c in range(s.ncols) if s.cell_type(r, c) != xlrd.XL_CELL_EMPTY}))\n";
    const fs::path py = co.path / "read.py";
    std::ofstream(py) << script;
    auto cells = nlohmann::json::parse(run("/usr/bin/python3 " + py.string() + " " + file.string(), rc));
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(cells["1,2"], "RELACION DE C.COSTO");
    EXPECT_EQ(cells["2,2"], "Periodo 2011-05");
    EXPECT_EQ(cells["3,1"], "TEXTIL ANDINA S.A.");
    EXPECT_EQ(cells["3,4"], 40683);  // 20/05/2011 as a 1900-system serial
    EXPECT_EQ(cells["5,1"], "Código");
    EXPECT_EQ(cells["5,2"], "Descripción");
    EXPECT_EQ(cells["7,1"], "ADM");
    EXPECT_EQ(cells["7,2"], "ADMINISTRACIÓN");
    EXPECT_EQ(cells["9,1"], "VEN");
    EXPECT_EQ(cells["11,1"], " T O T A L E S ");
    EXPECT_EQ(cells["11,3"], 3);
    EXPECT_EQ(cells["11,4"], " Registros");
}
