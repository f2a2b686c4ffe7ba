#include "common/formula.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cli/formula_tool.hpp"
#include "common/decimal.hpp"

namespace fo = common::formula;
using common::date_from_ymd;

namespace {

// One employee: the standard names plus a few concept aliases, filled with fixed values.
struct Employee {
    fo::Names names = fo::standard_names();
    fo::Env env;
    int SUELDO, DIAS, TOTREM, B, NEXT, REMU, FLAG;

    Employee() {
        SUELDO = names.add("SUELDO");
        DIAS = names.add("DIAS");
        TOTREM = names.add("TOTREM");
        B = names.add("B");
        NEXT = names.add("NEXT");  // known but not reached yet: its slot stays undefined
        REMU = names.add("REMU");
        FLAG = names.add("FLAG");
        env.resize(names.size());
        env.set_number(SUELDO, 3000);
        env.set_number(DIAS, 30);
        env.set_number(TOTREM, 3500);
        env.set_number(B, 1000);
        const double remu[] = {10, 20, 30.5};
        env.set_array(REMU, remu);
        env.set_logical(FLAG, true);
        env.set_number(fo::SWAFP, 0);
        env.set_number(fo::DIASNETO, 30);
        env.set_number(fo::APOMINESA, 92.25);
        env.set_number(fo::XMESPRO, 7);
        env.set_text(fo::XPLCODAFP, "   ");
        env.set_text(fo::XPLCODEMP, "0042");
        env.set_text(fo::XPLAPELLI, "PEREZ LOPEZ");
        env.set_date(fo::CFECREP, date_from_ymd(2024, 7, 31));
        env.set_date(fo::XPLFECING, date_from_ymd(2020, 2, 29));
        env.set_date(fo::XPLFECRET, common::kEmptyDate);
        env.today = [] { return date_from_ymd(2024, 3, 15); };
    }
    double eval(const std::string& f) const { return fo::compile(f, names).evaluate(env); }
    fo::Value value(const std::string& f) const { return fo::compile(f, names).evaluate_value(env); }
    std::string eval_error(const std::string& f) const {
        try {
            double x = eval(f);
            return "no error, result " + std::to_string(x);
        } catch (const fo::EvalError& e) {
            return e.what();
        }
    }
};

struct NumCase {
    const char* formula;
    double expected;
};

void expect_values(const Employee& e, const std::vector<NumCase>& cases) {
    for (const NumCase& c : cases) {
        SCOPED_TRACE(c.formula);
        double got = e.eval(c.formula);
        EXPECT_EQ(got, c.expected) << c.formula;
    }
}

TEST(Formula, RoundingAndArithmetic) {
    Employee e;
    expect_values(e, {
        {"ROUND(1.005,2)", 1.01},
        {"ROUND(2.345,2)", 2.35},
        {"ROUND(-2.345,2)", -2.35},
        {"ROUND(115.225,2)", 115.23},
        {"ROUND(0.125,2)", 0.13},
        {"ROUND(1/3,2)", 0.33},
        {"ROUND(2.5,0)", 3},
        {"ROUND(-2.5,0)", -3},
        {"ROUND(1234.5,-2)", 1200},
        {"ROUND(-0.001,2)", 0},
        {"ROUND(2.345,2.9)", 2.35},  // decimals truncated
        {"INT(-2.7)", -2},
        {"INT(2.7)", 2},
        {"INT(828.9999999999999)", 829},  // the shared helper's 15-digit view
        {"ABS(-4.5)", 4.5},
        {"MAX(ROUND(TOTREM*0.09,2),APOMINESA)", 315},
        {"MIN(3,-3)", -3},
        {"ROUND(SUELDO/DIASNETO*DIAS,2)", 3000},
        {"SUELDO/0", 0},            // division by zero gives 0 and goes on
        {"0/0+1", 1},
        {"2^10", 1024},
        {"2**3**2", 64},            // left-associative
        {"-2^2", 4},                // unary minus binds tighter than power
        {"2^-1", 0.5},
        {"1+2*3-4/2", 5},
        {"(1+2)*3", 9},
        {"--3", 3},
        {"+.5", 0.5},
        {"0.13*100", 13},
        {"REMU[2]+REMU[3.9]", 50.5},  // 1-based, index truncated
        {"0.1+0.2", 0.1 + 0.2},       // no rounding between operations
    });
}

// The fast ROUND/INT paths must give exactly what the shared helper gives.
TEST(Formula, RoundMatchesSharedHelper) {
    Employee e;
    int x = e.names.add("X");
    e.env.resize(e.names.size());
    fo::Program r0 = fo::compile("ROUND(X,0)", e.names), r2 = fo::compile("ROUND(X,2)", e.names),
                r4 = fo::compile("ROUND(X,4)", e.names), it = fo::compile("INT(X)", e.names);
    uint64_t s = 12345;
    auto next = [&] {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return s >> 11;
    };
    for (int i = 0; i < 200000; ++i) {
        double v;
        switch (i % 4) {
            case 0: v = static_cast<double>(next() % 100000000) / 1000.0 + 0.0005; break;  // halves at 3 d.p.
            case 1: v = static_cast<double>(next() % 10000000) / 100.0 + 0.005; break;     // halves at 2 d.p.
            case 2: v = static_cast<double>(next() % 1000000) / 10.0 + 0.5; break;         // halves at 0 d.p.
            default: v = static_cast<double>(next()) / static_cast<double>(1ull << 40); break;
        }
        if (i % 3 == 0) v = -v;
        e.env.set_number(x, v);
        ASSERT_EQ(r0.evaluate(e.env), common::round_half_away(v, 0)) << v;
        ASSERT_EQ(r2.evaluate(e.env), common::round_half_away(v, 2)) << v;
        ASSERT_EQ(r4.evaluate(e.env), common::round_half_away(v, 4)) << v;
        ASSERT_EQ(it.evaluate(e.env), common::int_trunc(v)) << v;
    }
}

TEST(Formula, Precedence) {
    Employee e;
    struct Case {
        const char* formula;
        bool expected;
    };
    const Case cases[] = {
        {"1>0.AND.2>1", true},          // "0." followed by a letter is not a decimal point
        {"1>0.and.2<1", false},         // operators in any case
        {".T..OR..F..AND..F.", true},   // .AND. binds tighter than .OR.
        {".NOT. 1=2 .AND. .T.", true},  // .NOT. applies to the comparison
        {".NOT..T..OR..T.", true},      // ... and binds tighter than .OR.
        {"1+1=2", true},
        {"1<2=.T.", true},              // comparisons are left-associative; logicals compare with =
        {".T.<>.F.", true},
        {"1#2", true},
        {"1!=1", false},
        {"2>=2 .AND. 2<=2", true},
        {"XPLFECING<CFECREP", true},
        {"XPLFECRET<XPLFECING", true},  // the empty date is smaller than every date
    };
    for (const Case& c : cases) {
        fo::Value v = e.value(c.formula);
        ASSERT_EQ(v.type, fo::Type::Logical) << c.formula;
        EXPECT_EQ(v.logical, c.expected) << c.formula;
    }
}

TEST(Formula, LazyEvaluation) {
    Employee e;
    // Undefined names and functions in branches that are not taken are never looked up.
    expect_values(e, {
        {"IF(SWAFP=0,ROUND(TOTREM*0.13,2),ZZZ)", 455},
        {"IF(SWAFP=1,ZZZ,7)", 7},
        {"IF(.F.,VALTAB(1,2),8)", 8},
        {"IF(.T..OR.ZZZ>0,1,2)", 1},
        {"IF(.F..AND.ZZZ>0,1,2)", 2},
        {"IF(.F..AND.NEXT>0,1,2)", 2},
        {"IF(.T.,1,REMU[99])", 1},
        {"IF(SWAFP=0,B*0.13,0)", 130},
    });
    e.env.set_number(fo::SWAFP, 21);
    EXPECT_EQ(e.eval("IF(SWAFP=0,B*0.13,0)"), 0);
    // The same names fail once they are reached.
    EXPECT_EQ(e.eval_error("IF(.T.,ZZZ,1)"), "Variable no definida: ZZZ");
    EXPECT_EQ(e.eval_error("IF(.F..OR.ZZZ>0,1,2)"), "Variable no definida: ZZZ");
}

TEST(Formula, Dates) {
    Employee e;
    expect_values(e, {
        {"CFECREP-XPLFECING", static_cast<double>(date_from_ymd(2024, 7, 31) - date_from_ymd(2020, 2, 29))},
        {"DAY(XPLFECING)+MONTH(XPLFECING)*100+YEAR(XPLFECING)*10000", 20200229},
        {"DAY(XPLFECING+1)", 1},                // 2020-03-01
        {"MONTH(1+XPLFECING)", 3},
        {"DAY(CFECREP-31.9)", 30},              // the number of days is truncated
        {"DAY(XPLFECRET)+MONTH(XPLFECRET)+YEAR(XPLFECRET)", 0},
        {"YEAR(XPLFECRET+10)", 0},              // the empty date stays empty
        {"DAY(MAX(XPLFECING,CFECREP))", 31},
        {"DAY(MIN(XPLFECRET,CFECREP))", 0},
        {"YEAR(DATE())*100+MONTH(DATE())", 202403},
        {"DATE()-CFECREP", static_cast<double>(date_from_ymd(2024, 3, 15) - date_from_ymd(2024, 7, 31))},
    });
    // Julian range used by date arithmetic.
    EXPECT_EQ(date_from_ymd(1, 1, 1), 1721426);
    EXPECT_EQ(date_from_ymd(9999, 12, 31), 5373484);
}

TEST(Formula, Texts) {
    Employee e;
    struct Case {
        const char* formula;
        bool expected;
    };
    const Case cases[] = {
        {"XPLCODAFP=\"\"", true},       // a blank right text equals every text
        {"XPLCODEMP=''", true},
        {"XPLCODAFP==\"\"", true},      // exact, trailing blanks aside
        {"XPLCODEMP==\"\"", false},
        {"XPLCODEMP=\"00\"", true},     // left begins with right
        {"XPLCODEMP==\"00\"", false},
        {"XPLCODEMP==\"0042\"", true},
        {"\"00\"=XPLCODEMP", false},    // not symmetric
        {"XPLCODEMP<>\"00\"", false},
        {"XPLCODEMP#\"01\"", true},
        {"XPLAPELLI>\"PEREZ A\"", true},
        {"\"AB\"<\"ABC\"", true},
        {"\"ABC\"<=\"AB\"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formula);
        fo::Value v;
        try {
            v = e.value(c.formula);
        } catch (const std::exception& ex) {
            ADD_FAILURE() << ex.what();
            continue;
        }
        ASSERT_EQ(v.type, fo::Type::Logical);
        EXPECT_EQ(v.logical, c.expected);
    }
}

TEST(Formula, NamesAreCaseInsensitiveAndSelfReference) {
    Employee e;
    // A concept's own alias sees what its column held: whatever the caller stored.
    e.env.set_number(e.TOTREM, 12.5);
    EXPECT_EQ(e.eval("totrem*2"), 25);
    EXPECT_EQ(e.eval("Round(TotRem,0)"), 13);
    // Synonyms share a slot.
    EXPECT_EQ(e.names.find("CFECRET"), fo::XPLFECRET);
    EXPECT_EQ(e.names.find("cmespro"), fo::XMESPRO);
    EXPECT_EQ(e.eval("CMESPRO"), 7);
}

TEST(Formula, EvaluationErrors) {
    Employee e;
    struct Case {
        const char* formula;
        const char* message;
    };
    const Case cases[] = {
        {"ZZZ+1", "Variable no definida: ZZZ"},
        {"next*2", "Variable no definida: NEXT"},  // a higher-coded concept, not reached yet
        {"VALTAB(1,2)", "función no definida: VALTAB"},
        {"BUSCAT()", "función no definida: BUSCAT"},
        {"MENFAC(ZZZ)", "función no definida: MENFAC"},
        {"SWCATEGO", "Variable no definida: SWCATEGO"},  // defined only when the caller fills it
        {"XPLFECING+CFECREP", "Tipos no compatibles: fecha + fecha en \"XPLFECING+CFECREP\""},
        {"IF(XPLCODEMP=1,1,0)", "Tipos no compatibles: texto = número en \"XPLCODEMP=1\""},
        {"IF(SUELDO,1,0)", "La condición de IF no es lógica (número) en \"SUELDO\""},
        {"IF(SUELDO .AND. .T.,1,0)", "Tipos no compatibles: número .AND. en \"SUELDO\""},
        {"IF(.F. .OR. 3,1,0)", "Tipos no compatibles: lógico .OR. número en \".F. .OR. 3\""},
        {"IF(.NOT. 1,1,0)", "Tipos no compatibles: .NOT. número en \".NOT. 1\""},
        {"IF(.T.<.F.,1,0)", "Tipos no compatibles: lógico < lógico en \".T.<.F.\""},
        {"-XPLFECING", "Tipos no compatibles: - fecha en \"-XPLFECING\""},
        {"XPLAPELLI*2", "Tipos no compatibles: texto * número en \"XPLAPELLI*2\""},
        {"ROUND(XPLCODEMP,2)", "Tipos no compatibles: ROUND(texto, número) en \"ROUND(XPLCODEMP,2)\""},
        {"MAX(1,CFECREP)", "Tipos no compatibles: MAX(número, fecha) en \"MAX(1,CFECREP)\""},
        {"DAY(5)", "Tipos no compatibles: DAY(número) en \"DAY(5)\""},
        {"REMU[4]", "Subíndice fuera de rango: REMU[4] (1..3) en \"REMU[4]\""},
        {"REMU[0.5]", "Subíndice fuera de rango: REMU[0.5] (1..3) en \"REMU[0.5]\""},
        {"SUELDO[1]", "SUELDO no es un arreglo (número) en \"SUELDO[1]\""},
        {"ZZZ[1]", "Variable no definida: ZZZ"},
        {"REMU+1", "Tipos no compatibles: arreglo + número en \"REMU+1\""},
        {"CFECREP+9999999", "Fecha fuera de rango en \"CFECREP+9999999\""},
        {"CFECREP", "El resultado no es un número: fecha"},
        {"1=1", "El resultado no es un número: lógico"},
        {"XPLCODEMP", "El resultado no es un número: texto"},
        {"10^400", "El resultado no es un número finito: inf"},
        {"(-8)^0.5", "El resultado no es un número finito: nan"},
        {"1000000000", "El resultado no cabe en un concepto (N14.4): 1000000000"},
        {"-100000000", "El resultado no cabe en un concepto (N14.4): -100000000"},
    };
    for (const Case& c : cases) EXPECT_EQ(e.eval_error(c.formula), c.message) << c.formula;
    // An empty date in a difference counts as day 0: no error, and a guard sees it as huge.
    EXPECT_EQ(e.eval("IF(CFECREP-XPLFECRET>100000,1,0)"), 1);
    // The limits themselves fit.
    expect_values(e, {{"999999999.9999", 999999999.9999}, {"-99999999.9999", -99999999.9999}});
    // An empty formula is not evaluated: the concept keeps its value.
    fo::Program p = fo::compile("   ", e.names);
    EXPECT_TRUE(p.empty());
    EXPECT_THROW(p.evaluate(e.env), fo::EvalError);
}

TEST(Formula, SyntaxErrors) {
    struct Case {
        const char* formula;
        size_t position;
        const char* token;
        const char* message;
    };
    const Case cases[] = {
        {"1+$2", 3, "$", "Error de sintaxis en la posición 3: operador no válido \"$\""},
        {"A%B", 2, "%", "Error de sintaxis en la posición 2: operador no válido \"%\""},
        {"A!B", 2, "!", "Error de sintaxis en la posición 2: operador no válido \"!\""},
        {"Ñ+1", 1, "Ñ", "Error de sintaxis en la posición 1: operador no válido \"Ñ\""},
        {"1+.X.", 3, ".X.", "Error de sintaxis en la posición 3: operador no válido \".X.\""},
        {"5.", 2, ".", "Error de sintaxis en la posición 2: operador no válido \".\""},
        {"_A", 1, "_", "Error de sintaxis en la posición 1: operador no válido \"_\""},
        {"(1+2", 5, "", "Error de sintaxis en la posición 5: se esperaba \")\" al final de la fórmula"},
        {"1+", 3, "", "Error de sintaxis en la posición 3: se esperaba un valor al final de la fórmula"},
        {"1 2", 3, "2", "Error de sintaxis en la posición 3: sobra \"2\""},
        {"A B", 3, "B", "Error de sintaxis en la posición 3: sobra \"B\""},
        {"1e9", 2, "e9", "Error de sintaxis en la posición 2: sobra \"e9\""},  // no exponent notation
        {"1.5.3", 4, ".3", "Error de sintaxis en la posición 4: sobra \".3\""},
        {"'ABC", 1, "'ABC", "Error de sintaxis en la posición 1: texto sin cerrar \"'ABC\""},
        {"ROUND(1)", 1, "ROUND", "Error de sintaxis en la posición 1: ROUND necesita 2 argumentos \"ROUND\""},
        {"DATE(1)", 1, "DATE", "Error de sintaxis en la posición 1: DATE no lleva argumentos \"DATE\""},
        {"IF(1,2)", 7, ")", "Error de sintaxis en la posición 7: se esperaba \",\" \")\""},
        {"1=<2", 3, "<", "Error de sintaxis en la posición 3: se esperaba un valor \"<\""},
        {"*3", 1, "*", "Error de sintaxis en la posición 1: se esperaba un valor \"*\""},
        {"REMU[1", 7, "", "Error de sintaxis en la posición 7: se esperaba \"]\" al final de la fórmula"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formula);
        try {
            (void)fo::compile(c.formula, fo::standard_names());
            ADD_FAILURE() << "compiled";
        } catch (const fo::SyntaxError& e) {
            EXPECT_EQ(e.position(), c.position);
            EXPECT_EQ(e.token(), c.token);
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    std::string deep(100, '(');
    EXPECT_NE(fo::check_syntax(deep + "1" + std::string(100, ')')), "");
    EXPECT_EQ(fo::check_syntax(std::string(20, '(') + "1" + std::string(20, ')')), "");
    EXPECT_EQ(fo::check_syntax("  "), "");
    EXPECT_EQ(fo::check_syntax("IF(SWAFP=0,ROUND(TOTREM*0.13,2),0)"), "");  // names need not exist
}

TEST(Formula, TokenCheck) {
    const std::vector<std::string> aliases = {"SUELDO  ", "TOTREM", "AFPAPO"};
    struct Case {
        const char* formula;
        std::vector<std::string> reported;
    };
    const std::vector<Case> cases = {
        {"IF(SWAFP=0,ROUND(TOTREM*0.13,2),0)", {}},
        {"1>0.AND.2>1", {}},                      // "AND" begins a reserved word
        {"SUELDO*0.5", {}},                       // 0 and 5
        {"SUEL+AFP+S+X", {}},                     // prefixes of aliases and reserved words pass
        {"XMESPRO*2", {"XMESPRO"}},               // further names are reported
        {"IF(XPLCODAFP=\"01\",1,0)", {"XPLCODAFP", "\"01\""}},
        {"'A B'", {"'A", "B'"}},
        {"ZZZ+ZZZ", {"ZZZ", "ZZZ"}},
        {"00+1", {"00"}},                         // not positive, and no reserved word begins with 00
        {"5ABC", {}},                             // reads as 5
        {"A#B", {"A#B"}},                         // "#" is not a separator
        {"REMU[1]", {"REMU[1]"}},
        {"  ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(fo::token_check(c.formula, aliases), c.reported) << c.formula;
}

TEST(Formula, Val) {
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {{"", 0},      {"   ", 0},   {"21 ", 21},   {" 03", 3},   {"1A", 1},
                          {"A1", 0},    {"-2.5x", -2.5}, {".5", 0.5}, {"+7", 7},   {"1,5", 1}};
    for (const Case& c : cases) EXPECT_EQ(fo::val(c.text), c.expected) << c.text;
}

TEST(FormulaCli, CheckAndEval) {
    struct Case {
        std::vector<std::string> args;
        int rc;
        const char* out;
        const char* err;
    };
    const std::vector<Case> cases = {
        {{"check", "ROUND(SUELDO/DIASNETO*DIAS,2)"}, 0, "ok\n", ""},
        {{"check", "1+$"}, 1, "", "Error de sintaxis en la posición 3: operador no válido \"$\"\n"},
        {{"eval", "ROUND(1.005,2)"}, 0, "1.01\n", ""},
        {{"eval", "0.1+0.2"}, 0, "0.30000000000000004\n", ""},
        {{"eval", "IF(SWAFP=0,ROUND(TOTREM*0.13,2),0)", "--set", "SWAFP=0", "--set", "TOTREM=1234.56"}, 0,
         "160.49\n", ""},
        {{"eval", "CFECREP-XPLFECING", "--set", "CFECREP=d:20240731", "--set", "XPLFECING=d:20240101"}, 0,
         "212\n", ""},
        {{"eval", "IF(XPLCODAFP=\"0\",1,2)+IF(OK,10,20)", "--set", "XPLCODAFP=t:01", "--set", "ok=.T."}, 0,
         "11\n", ""},
        {{"eval", "REMU[2]", "--set", "REMU=a:1,2.5"}, 0, "2.5\n", ""},
        {{"eval", "YEAR(DATE())", "--today", "20231231"}, 0, "2023\n", ""},
        {{"eval", "ZZZ"}, 1, "", "Variable no definida: ZZZ\n"},
        {{"eval", "1+"}, 1, "", "Error de sintaxis en la posición 3: se esperaba un valor al final de la fórmula\n"},
        {{"eval", "X", "--set", "X=abc"}, 2, "", "--set: valor no válido para X: abc\n"},
        {{"eval", "X", "--set", "X=d:20230230"}, 2, "", "--set: valor no válido para X: d:20230230\n"},
        {{"eval", "X", "--set"}, 2, "", nullptr},
        {{"run", "1"}, 2, "", nullptr},
    };
    for (const Case& c : cases) {
        std::ostringstream out, err;
        int rc = cli::run_formula(c.args, out, err);
        std::string what = c.args.size() > 1 ? c.args[1] : c.args[0];
        EXPECT_EQ(rc, c.rc) << what;
        EXPECT_EQ(out.str(), c.out) << what;
        if (c.err) EXPECT_EQ(err.str(), c.err) << what;
        else EXPECT_FALSE(err.str().empty()) << what;
    }
}

}  // namespace
