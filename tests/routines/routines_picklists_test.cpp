// The pick-list fillers (first entries, entry texts, the level-3 accounts) and the combo
// helpers that store by entry and find a stored code by the whole code.
#include <gtest/gtest.h>

#include "common/routines/picklists.hpp"
#include "common/routines/text.hpp"
#include "tests/routines/company_fixture.hpp"

using namespace common::routines;
using namespace fixture;

namespace {

class Fillers : public ::testing::Test {
protected:
    Company co;
    void SetUp() override {
        co.table("EMPRESA", [](xbase::Table& t) {
            t.append_blank();
            text(t, "EMCODIGO", "02");
            text(t, "EMDESCRI", "COMERCIAL ANDINA DEL SUR S.A.C.");
            t.append_blank();
            text(t, "EMCODIGO", "01");
            text(t, "EMDESCRI", "TEXTIL");
        });
        co.table("PLANCTA", [](xbase::Table& t) {
            for (auto [cta, name, level] : {std::tuple{"6211", "SUELDOS", 3},
                                            {"62", "GASTOS DE PERSONAL", 2},
                                            {"4111", "REMUNERACIONES POR PAGAR", 3}}) {
                t.append_blank();
                text(t, "CUENTA", cta);
                text(t, "NOMBRE", name);
                number(t, "NIVEL", level);
            }
        });
        co.table("BANCOS", [](xbase::Table& t) {
            t.append_blank();
            text(t, "BCCODIGO", "002");
            text(t, "BCDESCRI", "BANCO DE CREDITO");
            text(t, "BCDESBRE", "BCP");
        });
        co.table("CONCEPTO", [](xbase::Table& t) {
            for (auto [code, alias, descr] :
                 {std::tuple{"020", "ASIGFAM", "ASIGNACION FAMILIAR"}, {"010", "SUELDO", "SUELDO BASICO"}}) {
                t.append_blank();
                text(t, "CPCODIGO", code);
                text(t, "CPALIAS", alias);
                text(t, "CPDESCRI", descr);
            }
        });
    }
};

}  // namespace

TEST_F(Fillers, FirstEntriesAndEntryTextsInCodeOrder) {
    app::Session& s = co.session;
    LLENAEMP(s, co.ws);
    LLENAPLAN(s, co.ws);
    LLENABAN(s, co.ws);
    LLENACON(s, co.ws);
    EXPECT_EQ(s.picks.ARREMP, (app::List{"01 TEXTIL         ", "02 COMERCIAL ANDIN"}));
    // Level-3 accounts only; the "none" entry has ten blanks although accounts are twelve wide.
    EXPECT_EQ(s.picks.ARRPLAN, (app::List{std::string(10, ' ') + " Sin Datos",
                                          pad_right("4111", 12) + " " + pad_right("REMUNERACIONES POR PAGAR", 60),
                                          pad_right("6211", 12) + " " + pad_right("SUELDOS", 60)}));
    EXPECT_EQ(s.picks.ARRBAN, (app::List{"    Sin Datos", "002 BCP            "}));
    EXPECT_EQ(s.picks.ARRCON, (app::List{"    Sin Datos", "010 " + pad_right("SUELDO BASICO", 30),
                                         "020 " + pad_right("ASIGNACION FAMILIAR", 30)}));
    EXPECT_EQ(LLENAALIAS(co.ws), (app::List{std::string(8, ' ') + " SIN ALIAS", "SUELDO  ", "ASIGFAM "}));
    EXPECT_EQ(LLEALICOD(co.ws), (app::List{std::string(14, ' ') + " SIN ALIAS", "SUELDO    [010]", "ASIGFAM   [020]"}));
}

TEST_F(Fillers, LeaveTheTablesWhereTheyWere) {
    xbase::Table& con = co.ws.area("Con");
    co.ws.set_order("Con", "CON2");
    co.ws.go_bottom("Con");
    const uint32_t rec = con.recno();
    co.ws.select("Emp");
    LLENACON(co.session, co.ws);
    EXPECT_EQ(co.ws.current_alias(), "Emp");
    EXPECT_EQ(con.order(), con.find_tag("CON2"));
    EXPECT_EQ(con.recno(), rec);
}

TEST(ComboEntries, StoredCodeFindsItsEntryByTheWholeCode) {
    const app::List con = {"    Sin Datos", "010 SUELDO", "01  BASICO", "0101X"};
    const app::List plan = {std::string(10, ' ') + " Sin Datos", "4111         REMUNERACIONES", "62111        SUELDOS"};
    struct Case {
        const app::List* list;
        std::string code;
        int want;
    } cases[] = {
        {&con, "01 ", 3},   {&con, "01", 3},   {&con, "010", 2},   {&con, "0", 0},
        {&con, "   ", 1},   {&con, "", 1},     {&con, "02", 0},    {&plan, "4111        ", 2},
        {&plan, "4111", 2}, {&plan, "411", 0}, {&plan, "6211", 0}, {&plan, std::string(12, ' '), 1},
    };
    for (const Case& c : cases) EXPECT_EQ(entry_of(*c.list, c.code), c.want) << "'" << c.code << "'";
    EXPECT_EQ(entry_or_first(con, "02"), 1);
    const app::List companies = {"01 TEXTIL", "02 ANDINA"};
    EXPECT_EQ(entry_of(companies, "  "), 0);  // no "none" entry in this list
}

TEST(ComboEntries, AnEntryStoresItsCodeAndTheNoneEntryStoresBlanks) {
    const app::List plan = {std::string(10, ' ') + " Sin Datos", "4111         REMUNERACIONES"};
    const app::List cto = {std::string(10, ' ') + " Sin Datos", "ADM        ADMINISTRACION"};
    EXPECT_EQ(code_of(plan, 1, 12), std::string(12, ' '));  // not "           S"
    EXPECT_EQ(code_of(plan, 2, 12), "4111        ");
    EXPECT_EQ(code_of(cto, 2, 10), "ADM       ");
    EXPECT_EQ(code_of(cto, 2, 12), "ADM         ");  // a wider field gets the code, not "ADM        A"
    EXPECT_EQ(code_of(cto, 0, 10), std::string(10, ' '));
    EXPECT_EQ(code_of(cto, 3, 10), std::string(10, ' '));
    EXPECT_THROW(code_of(cto, 2, 2), std::length_error);
    // What is stored finds its entry again.
    for (int i = 1; i <= 2; ++i) EXPECT_EQ(entry_of(plan, code_of(plan, i, 12)), i);
}
