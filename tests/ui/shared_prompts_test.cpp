// The small prompts: the spreadsheet name (refused names asked again), the process year
// range and the report font size.
#include <gtest/gtest.h>

#include "app/session.hpp"
#include "gui/headless.hpp"
#include "ui/shared/prompts.hpp"

using namespace ui::shared;
using gui::Dialog;

TEST(Prompts, SheetNameRefusesAnythingButAShortPlainNameAndAsksAgain) {
    for (const char* bad : {"A/B", "..", "TOOLONGNAME", "", "   ", "A B", "NOMBRE.XLS", "AÑO"}) {
        app::Session s;
        s.RutaW = "/tmp/trabajo";
        gui::ScriptedUi ui;
        ui.dialog("D_HOJEXC")
            .call([](Dialog& d) { EXPECT_EQ(d.text(176), "Plan    "); })
            .set(176, bad)
            .press(175)
            .call([](Dialog& d) { EXPECT_FALSE(d.closed()); })
            .set(176, "plan_01")
            .press(175);
        EXPECT_TRUE(PIDEXCEL(s, ui, "Plan    ")) << bad;
        ui.expect_done();
        EXPECT_EQ(ui.events(gui::EventKind::Alert).size(), 1u) << bad;
        EXPECT_EQ(s.CHOJEXC, "PLAN_01");
        EXPECT_FALSE(s.XSALIR);
        EXPECT_EQ(spreadsheet_path(s), "/tmp/trabajo/PLAN_01.XLS");
    }
}

TEST(Prompts, SheetNameDefaultAcceptedAsUpperCaseAndCancelKeepsTheOldName) {
    app::Session s;
    gui::ScriptedUi ui;
    ui.dialog("D_HOJEXC").press(175);
    EXPECT_TRUE(PIDEXCEL(s, ui, "Cto     "));
    EXPECT_EQ(s.CHOJEXC, "CTO");
    ui.dialog("D_HOJEXC").set(176, "OTRO").press(240);
    EXPECT_FALSE(PIDEXCEL(s, ui, "Cto     "));
    EXPECT_TRUE(s.XSALIR);
    EXPECT_EQ(s.CHOJEXC, "CTO");
    EXPECT_TRUE(ui.events(gui::EventKind::Alert).empty());
}

TEST(Prompts, ProcessYearOnlyFrom2006To2014) {
    app::Session s;
    gui::ScriptedUi ui;
    gui::FixedClock today(common::date_from_ymd(2012, 3, 15));
    ui.dialog("D_PIDE_ANO")
        .call([](Dialog& d) { EXPECT_EQ(d.number(177), 2012); })
        .set(177, "2015")
        .expect_refused()
        .press(175)
        .set(177, "2005")
        .expect_refused()
        .press(175)
        .set(177, "2014")
        .press(175);
    EXPECT_TRUE(PIDANO(s, ui, today));
    EXPECT_EQ(s.CANO, 2014);
    EXPECT_FALSE(s.XSALIR);
    EXPECT_EQ(ui.events(gui::EventKind::Alert).size(), 2u);

    // Today's year outside the range cannot be accepted as it stands; Escape cancels.
    gui::FixedClock later(common::date_from_ymd(2026, 1, 2));
    ui.dialog("D_PIDE_ANO").expect_refused().press(175).escape();
    EXPECT_FALSE(PIDANO(s, ui, later));
    EXPECT_TRUE(s.XSALIR);
    EXPECT_EQ(s.CANO, 2014);
}

TEST(Prompts, FontSizePreselectsTheCurrentOneAndReturnsTheChoice) {
    struct Case {
        int given;
        int preselected;
    } cases[] = {{10, 3}, {8, 1}, {12, 5}, {7, 1}, {14, 1}};
    for (const Case& c : cases) {
        app::Session s;
        gui::ScriptedUi ui;
        ui.dialog("D_PIDEPUNTO")
            .call([&](Dialog& d) { EXPECT_EQ(d.selected(177), c.preselected) << c.given; })
            .select_option(181)  // "11"
            .press(175);
        EXPECT_EQ(PIDEPUNTOS(s, ui, c.given), 11);
        EXPECT_EQ(s.CPUNTOS, 11);
        EXPECT_FALSE(s.XSALIR);
    }
    app::Session s;
    s.CPUNTOS = 9;
    gui::ScriptedUi ui;
    ui.dialog("D_PIDEPUNTO").select_option(182).press(176);
    EXPECT_EQ(PIDEPUNTOS(s, ui, 9), 9);
    EXPECT_TRUE(s.XSALIR);
}
