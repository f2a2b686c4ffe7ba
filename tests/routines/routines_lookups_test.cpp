// Look-ups in other tables: the caller's area and tag survive, codes are compared whole,
// and the messages of missing concepts and cost centres.
#include <gtest/gtest.h>

#include "common/routines/lookups.hpp"
#include "common/routines/text.hpp"
#include "gui/headless.hpp"
#include "tests/routines/company_fixture.hpp"

using namespace common::routines;
using namespace fixture;

namespace {

void concepts(xbase::Table& t) {
    for (auto [code, alias] : {std::pair{"010", "SUELDO"}, {"01", "BASICO"}, {"020", "ASIGFAM"}}) {
        t.append_blank();
        text(t, "CPCODIGO", code);
        text(t, "CPALIAS", alias);
    }
}

void cost_centres(xbase::Table& t) {
    for (auto [code, name] : {std::pair{"ADM", "ADMINISTRACION  "}, {"PRO", "PRODUCCION"}}) {
        t.append_blank();
        text(t, "CTCODIGO", code);
        text(t, "CTDESCRI", name);
    }
}

}  // namespace

TEST(Lookups, FindLeavesTheCallersAreaAndTagAlone) {
    Company co;
    co.table("CONCEPTO", concepts);
    xbase::Table& per = co.table("PERSONAL", staff);
    co.ws.set_order("Per", "PER2");
    co.ws.go_top("Per");
    const uint32_t caller_rec = per.recno();

    EXPECT_TRUE(F_BUSCA(co.ws, "Con", "CON2", "ASIGFAM"));
    EXPECT_EQ(co.ws.current_alias(), "Per");
    EXPECT_EQ(per.order(), per.find_tag("PER2"));
    EXPECT_EQ(per.recno(), caller_rec);
    xbase::Table& con = co.ws.area("Con");
    EXPECT_EQ(rtrim(field_text(con, "CPCODIGO")), "020");  // the other table stays on it
    EXPECT_EQ(con.order(), con.find_tag("CON2"));

    EXPECT_FALSE(F_BUSCA(co.ws, "Con", 1, "999"));
    EXPECT_TRUE(con.eof());
    EXPECT_EQ(co.ws.current_alias(), "Per");

    // Searching the caller's own area: its tag comes back, the record is the one found.
    EXPECT_TRUE(F_BUSCA(co.ws, "Per", 1, "0012"));
    EXPECT_EQ(per.order(), per.find_tag("PER2"));
    EXPECT_EQ(field_text(per, "PECODEMP"), "0012");
}

TEST(Lookups, ConceptAliasByWholeCode) {
    Company co;
    co.table("CONCEPTO", concepts);
    gui::ScriptedUi ui;
    EXPECT_EQ(BUSCACON(co.ws, ui, "01"), "BASICO  ");   // not "010", which sorts first
    EXPECT_EQ(BUSCACON(co.ws, ui, "010"), "SUELDO  ");
    EXPECT_EQ(BUSCACON(co.ws, ui, "   "), std::string(8, ' '));
    EXPECT_EQ(BUSCACON(co.ws, ui, "0101"), std::string(8, ' '));  // longer than a code: not "010"
    EXPECT_EQ(BUSCACON(co.ws, ui, "099"), std::string(8, ' '));
    EXPECT_EQ(ui.transcript(),
              "Alert[Revisar] Concepto no Ubicado : 0101\n"
              "Alert[Revisar] Concepto no Ubicado : 099\n");
}

TEST(Lookups, CostCentreInEachOfItsThreeAreas) {
    Company co;
    co.table("CTOCTO", cost_centres);
    co.table("CTOCTO", {}, "Cto2");
    co.table("CTOCTO", {}, "Cto3");
    EXPECT_EQ(BUSCACC(co.session, co.ws, 2, "ADM"), "ADMINISTRACION");
    EXPECT_EQ(co.session.NOMCTO, "ADMINISTRACION");
    EXPECT_EQ(rtrim(field_text(co.ws.area("Cto2"), "CTCODIGO")), "ADM");
    EXPECT_EQ(BUSCACC(co.session, co.ws, 3, "PR"), "C.Costo no Existe");  // no prefix match
    EXPECT_EQ(co.session.NOMCTO, "C.Costo no Existe");
    EXPECT_EQ(BUSCACC(co.session, co.ws, 1, "PRO"), "PRODUCCION");
    EXPECT_THROW(BUSCACC(co.session, co.ws, 4, "PRO"), std::invalid_argument);
}

TEST(Lookups, EmployeeNameIgnoresTheListingFilter) {
    Company co;
    co.table("PERSONAL", staff);
    co.ws.set_filter("Per", "PEACTIVI = 1");
    EXPECT_EQ(UBIPERP(co.ws, "0007"), "MENDOZA GARCIA ROSA ");  // ceased, filtered out before
    EXPECT_EQ(UBIPERP(co.ws, "7"), std::string(30, ' '));
    EXPECT_EQ(UBIPERP(co.ws, "0003"), "GARCIA LOPEZ ANA MARIA");
}

TEST(Lookups, EmployeeNameRule) {
    struct Case {
        const char *a1, *a2, *n1, *n2, *want;
    } cases[] = {
        {"  PEÑA  ", "DÍAZ", " JOSÉ", "LUIS ", "PEÑA DÍAZ JOSÉ LUIS"},
        {"QUISPE", "", "JUAN", "", "QUISPE  JUAN "},  // empty parts keep their blank
        {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST", "ÑANDÚ", "X", "ABCDEFGHIJKLMNOPQRST ABCDEFGHIJKLMNOPQRS"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(employee_name(c.a1, c.a2, c.n1, c.n2), c.want) << c.a1;
        EXPECT_LE(text_length(employee_name(c.a1, c.a2, c.n1, c.n2)), 40u);
    }
}
