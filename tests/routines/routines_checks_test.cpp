// The checks run before a calculation: periods whose month disagrees with their dates, and
// the concepts that show their constant.
#include <gtest/gtest.h>

#include "common/routines/checks.hpp"
#include "common/routines/text.hpp"
#include "gui/headless.hpp"
#include "tests/routines/company_fixture.hpp"

using namespace common::routines;
using namespace fixture;

namespace {

void period(xbase::Table& t, const char* code, int month, int y1, int m1, int d1, int y2, int m2, int d2) {
    t.append_blank();
    text(t, "PPCODIGO", code);
    number(t, "PPMESPRO", month);
    date(t, "PPFECINI", y1, m1, d1);
    date(t, "PPFECFIN", y2, m2, d2);
}

}  // namespace

TEST(Checks, PeriodWhoseMonthMatchesNeitherDateIsReported) {
    Company co;
    co.table("PERPAG", [](xbase::Table& t) {
        period(t, "20110500", 5, 2011, 5, 1, 2011, 5, 31);
        period(t, "20110600", 6, 2011, 5, 28, 2011, 6, 27);  // a month that starts early: fine
        period(t, "20110700", 8, 2011, 7, 1, 2011, 7, 31);   // bad
    });
    gui::ScriptedUi ui;
    EXPECT_TRUE(VALPPG(co.session, co.ws, ui));
    EXPECT_EQ(co.session.MALPPG, 1);
    EXPECT_EQ(ui.transcript(), "Alert[Meses no corresponden con las fechas, Revisar] Periodo mal...20110700\n");

    // Mended, the check clears the mark again.
    xbase::Table& ppg = co.ws.area("Ppg");
    ASSERT_TRUE(ppg.seek("20110700"));
    ASSERT_TRUE(ppg.lock_record());
    number(ppg, "PPMESPRO", 7);
    ppg.unlock_record();
    ui.clear_events();
    EXPECT_FALSE(VALPPG(co.session, co.ws, ui));
    EXPECT_EQ(co.session.MALPPG, 0);
    EXPECT_TRUE(ui.events().empty());
}

TEST(Checks, ConceptWarningsShowTheirConstantsInCodeOrder) {
    Company co;
    co.table("CONCEPTO", [](xbase::Table& t) {
        struct C {
            const char *code, *descr;
            double value;
            bool warn;
        };
        for (const C& c : {C{"030", "PORCENTAJE ESSALUD", 9, true}, C{"010", "SUELDO", 0, false},
                           C{"001", "REMUNERACION MINIMA VITAL MES", 750.005, true}}) {
            t.append_blank();
            text(t, "CPCODIGO", c.code);
            text(t, "CPDESCRI", c.descr);
            number(t, "CPIMPORT", c.value);
            flag(t, "CPAVISO", c.warn);
        }
    });
    co.table("PERSONAL");
    gui::ScriptedUi ui;
    AVISOCON(co.ws, ui);
    EXPECT_EQ(ui.transcript(),
              "Alert[REMUNERACION MINIMA VITAL MES ] [Valor en ] ==> 750.01\n"
              "Alert[PORCENTAJE ESSALUD            ] [Valor en ] ==>   9.00\n");
    EXPECT_EQ(co.ws.current_alias(), "Per");
    EXPECT_EQ(rtrim(field_text(co.ws.area("Con"), "CPCODIGO")), "001");
}
