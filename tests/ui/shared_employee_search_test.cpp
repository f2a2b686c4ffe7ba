// The employee search of employee-code fields: a number taken directly, a surname listed,
// the list closed without a choice, the level filter, and the employee browse button.
#include <gtest/gtest.h>

#include "common/routines/text.hpp"
#include "gui/browse.hpp"
#include "gui/headless.hpp"
#include "tests/routines/company_fixture.hpp"
#include "ui/shared/employee_search.hpp"

using namespace ui::shared;
using namespace fixture;
using gui::Dialog;

namespace {

// A screen with an employee-code field (101), the name (102), a check box (103), the browse
// button (120) and exit (240).
gui::DialogTemplate host_template() {
    gui::DialogTemplate t("D_HOST", "Pantalla con Empleado");
    t.edit(101, "Código", "@!", 4).label(102, "").check(103, "Selección").button(120, "...").button(240, "&Salir");
    return t;
}

class EmployeeSearch : public ::testing::Test {
protected:
    Company co;
    gui::ScriptedUi ui;
    Dialog host{host_template()};
    int nexts = 0;
    EmployeeField field{101, 102, [this](Dialog& d) {
                            ++nexts;
                            d.focus(103);
                        }};

    void SetUp() override {
        co.table("CTOCTO");
        co.table("PERSONAL", staff);
        co.ws.select("Cto");
        co.ws.set_order("Cto", "CTO2");  // the caller's own area and tag
        host.on_button(240, [this] { host.close(0); });
        host.skip_validation(240);
    }
    void expect_caller_kept() {
        EXPECT_EQ(co.ws.current_alias(), "Cto");
        EXPECT_EQ(co.ws.area("Cto").order(), co.ws.area("Cto").find_tag("CTO2"));
    }
};

}  // namespace

TEST_F(EmployeeSearch, ANumberIsZeroFilledAndTakenDirectly) {
    bind_employee_search(co.session, co.ws, ui, host, field);
    // No list is queued: showing one would fail the script.
    ui.dialog("D_HOST")
        .set(101, "12")
        .focus(102)
        .call([](Dialog& d) {
            EXPECT_EQ(d.text(101), "0012");
            EXPECT_EQ(d.text(102), "QUISPE MAMANI JUAN ");
        })
        .press(240);
    ui.run(host);
    ui.expect_done();
    EXPECT_EQ(nexts, 1);
    EXPECT_EQ(co.session.GVARCLA, "0012");
    EXPECT_EQ(co.session.CPERINI, "0012");
    EXPECT_EQ(common::routines::field_text(co.ws.area("Per"), "PECODEMP"), "0012");
    expect_caller_kept();
}

TEST_F(EmployeeSearch, ASurnameListsTheEmployeesWhoseFirstSurnameHoldsIt) {
    bind_employee_search(co.session, co.ws, ui, host, field);
    ui.dialog("D_HOST").set(101, "garc").focus(102).press(240);
    ui.dialog("Archi_Bus")
        .call([](Dialog& d) {
            gui::Browse& b = d.browse(181);
            ASSERT_EQ(b.rows(), 2u);  // GARCIA and DELGARCO; not GARCES or GARCIA as second surname
            EXPECT_EQ(b.cell(0, 0), "0003");
            EXPECT_EQ(b.cell(0, 1), "GARCIA LOPEZ");
            EXPECT_EQ(b.cell(0, 2), "ANA MARIA");
            EXPECT_EQ(b.cell(0, 3), "1 Activo");
            EXPECT_EQ(b.cell(1, 0), "0015");
        })
        .browse_row(181, 1)
        .press(175);
    ui.run(host);
    ui.expect_done();
    EXPECT_EQ(host.text(101), "0015");
    EXPECT_EQ(host.text(102), "DELGARCO RIOS PEDRO ");
    EXPECT_EQ(nexts, 1);
    expect_caller_kept();
}

TEST_F(EmployeeSearch, ClosingTheListLeavesTheFieldEmptyAndKeepsTheFocus) {
    bind_employee_search(co.session, co.ws, ui, host, field);
    co.session.CPERINI = "0003";
    ui.dialog("D_HOST")
        .set(101, "GARC")
        .expect_refused()
        .focus(102)
        .call([](Dialog& d) {
            EXPECT_EQ(d.focused(), 101);
            EXPECT_EQ(d.text(101), "");
            EXPECT_EQ(d.text(102), "");
        })
        .focus(102)  // an empty field is valid again
        .press(240);
    ui.dialog("Archi_Bus").press(240);
    ui.run(host);
    ui.expect_done();
    EXPECT_EQ(co.session.CPERINI, "");
    EXPECT_EQ(co.session.GVARCLA, "");
    EXPECT_EQ(nexts, 0);
    expect_caller_kept();
}

TEST_F(EmployeeSearch, TheLevelFilterKeepsCeasedEmployeesOut) {
    // 0007 is ceased (state 7): below the limit 7 it is neither taken nor listed.
    Dialog d{host_template()};
    d.set_text(101, "7");
    EXPECT_FALSE(VBUSPER(co.session, co.ws, ui, d, field, kBelowLimit, 7));
    EXPECT_TRUE(ui.events().empty());
    EXPECT_EQ(d.text(101), "");
    d.set_text(101, "7");
    EXPECT_TRUE(VBUSPER(co.session, co.ws, ui, d, field, kAnyEmployee, 7));
    EXPECT_EQ(d.text(101), "0007");
    EXPECT_EQ(match_employees(co.ws, co.session.lists, "GARC", kBelowLimit, 2).size(), 2u);
    EXPECT_EQ(match_employees(co.ws, co.session.lists, "GARC", kBelowLimit, 1).size(), 0u);
}

TEST_F(EmployeeSearch, BrowseButtonSearchesByCodeOrSurnameAndTakesTheHighlightedEmployee) {
    host.on_button(120, [this] { BUSPER(co.session, co.ws, ui, host, field); });
    ui.dialog("D_HOST")
        .press(120)
        .call([](Dialog& d) { EXPECT_EQ(d.text(101), "0007"); })  // nearest to "MEN": MENDOZA
        .press(120)
        .press(240);
    ui.dialog("D_BUS_TAB").press(177).press(175);
    ui.reply("men");
    ui.dialog("D_BUS_TAB").press(176).browse_enter(181);
    ui.reply("12");
    ui.run(host);
    ui.expect_done();
    EXPECT_EQ(host.text(101), "0012");  // the second search: "12" zero-filled
    EXPECT_EQ(nexts, 2);
    auto prompts = ui.events(gui::EventKind::Prompt);
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[0].title, "Buscar por");
    EXPECT_EQ(prompts[0].text, "Descripcion");
    EXPECT_EQ(prompts[1].text, "Codigo");
    expect_caller_kept();
}

TEST_F(EmployeeSearch, BrowseLevelOneHidesCeasedAndExitClearsTheChoice) {
    host.on_button(120, [this] { BUSPER(co.session, co.ws, ui, host, field, kBelowLimit); });
    ui.dialog("D_HOST").press(120).press(240);
    ui.dialog("D_BUS_TAB")
        .call([](Dialog& d) { EXPECT_EQ(d.browse(181).rows(), 5u); })
        .press(240);
    ui.run(host);
    EXPECT_EQ(co.session.GVARCLA, std::string(10, ' '));
    EXPECT_EQ(host.text(101), "");
    EXPECT_EQ(nexts, 0);
    // Afterwards: no filter on Per, tag 1, the caller's area back.
    xbase::Table& per = co.ws.area("Per");
    EXPECT_EQ(per.order(), 0);
    int n = 0;
    for (per.go_top(); !per.eof(); per.skip()) ++n;
    EXPECT_EQ(n, 6);
    expect_caller_kept();
}
