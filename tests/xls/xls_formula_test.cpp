// The formula encoder: golden token strings, values checked by a small RPN evaluator
// against the formula language's own arithmetic, program values and the errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <vector>

#include "tests/xls/xls_test_util.hpp"
#include "xls/xls_writer.hpp"

using namespace xls_test;
namespace fo = common::formula;
using xls::XlsError;

namespace {

struct Fixture {
    fo::Names names;
    fo::Env env;
    Fixture() {
        for (const char* n : {"PRIFIL", "ULTFIL", "CONTAG", "SUELDO", "NEGA", "TEXTO", "FECHA", "FORM"}) names.add(n);
        env.resize(names.size());
        env.set_number(names.find("PRIFIL"), 2);
        env.set_number(names.find("ULTFIL"), 41);
        env.set_number(names.find("CONTAG"), 5);
        env.set_number(names.find("SUELDO"), 1500);
        env.set_number(names.find("NEGA"), -2.5);
        env.set_text(names.find("TEXTO"), "abc");
        env.set_date(names.find("FECHA"), common::date_from_ymd(2024, 1, 1));
        env.set_text(names.find("FORM"), "2*3");
    }
    xls::FormulaEnv scope() const { return {names, env}; }
};

std::string encode(std::string_view text) {
    static const Fixture f;
    return xls::encode_formula(text, f.scope());
}

// Evaluates a BIFF2 token string; references read `cell(row, col)` (0-based).
double rpn(const std::string& t, const std::function<double(int, int)>& cell = {}) {
    std::vector<double> st;
    auto u8 = [&](size_t i) { return static_cast<unsigned char>(t.at(i)); };
    auto u16 = [&](size_t i) { return static_cast<unsigned>(u8(i) | (u8(i + 1) << 8)); };
    auto pop = [&] {
        if (st.empty()) throw std::runtime_error("stack underflow");
        double x = st.back();
        st.pop_back();
        return x;
    };
    for (size_t i = 0; i < t.size();) {
        unsigned char op = u8(i);
        switch (op) {
            case 0x1E: st.push_back(u16(i + 1)); i += 3; break;
            case 0x1F: {
                double x;
                std::memcpy(&x, t.data() + i + 1, 8);
                st.push_back(x);
                i += 9;
                break;
            }
            case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: {
                double b = pop(), a = pop();
                st.push_back(op == 3 ? a + b : op == 4 ? a - b : op == 5 ? a * b : op == 6 ? a / b : std::pow(a, b));
                ++i;
                break;
            }
            case 0x12: case 0x15: ++i; break;
            case 0x13: st.push_back(-pop()); ++i; break;
            case 0x44: st.push_back(cell(static_cast<int>(u16(i + 1) & 0x3FFF), u8(i + 3))); i += 4; break;
            case 0x25: {
                int r1 = static_cast<int>(u16(i + 1) & 0x3FFF), r2 = static_cast<int>(u16(i + 3) & 0x3FFF);
                int c1 = u8(i + 5), c2 = u8(i + 6);
                i += 7;
                bool product = u8(i) == 0x42;
                double acc = product ? 1 : 0;
                for (int r = r1; r <= r2; ++r)
                    for (int c = c1; c <= c2; ++c) acc = product ? acc * cell(r, c) : acc + cell(r, c);
                st.push_back(acc);
                i += 3;  // sum attribute or the product call
                break;
            }
            case 0x41: {
                unsigned f = u8(i + 1);
                i += 2;
                if (f == 0x13) { st.push_back(M_PI); break; }
                if (f == 0x27 || f == 0x1B) {
                    double b = pop(), a = pop();
                    st.push_back(f == 0x27 ? a - b * std::floor(a / b)
                                           : std::round(a * std::pow(10, b)) / std::pow(10, b));
                    break;
                }
                double a = pop();
                switch (f) {
                    case 0x18: st.push_back(std::fabs(a)); break;
                    case 0x19: st.push_back(std::floor(a)); break;
                    case 0x1A: st.push_back(a > 0 ? 1 : a < 0 ? -1 : 0); break;
                    case 0x14: st.push_back(std::sqrt(a)); break;
                    default: throw std::runtime_error("function not in the test evaluator");
                }
                break;
            }
            default: throw std::runtime_error("unknown token " + to_hex(t.substr(i, 1)));
        }
    }
    if (st.size() != 1) throw std::runtime_error("stack does not end with one value");
    return st[0];
}

int error_of(const std::function<void()>& f, std::string* detail = nullptr) {
    try {
        f();
    } catch (const XlsError& e) {
        if (detail) *detail = e.operation();
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(XlsFormula, GoldenTokens) {
    struct Case {
        const char* text;
        const char* tokens;
    };
    const Case cases[] = {
        {"2+3*4", "1E 02 00 1E 03 00 1E 04 00 05 03"},
        {"2*3+4", "1E 02 00 1E 03 00 05 1E 04 00 03"},
        {"(2+3)*4", "1E 02 00 1E 03 00 03 15 1E 04 00 05"},
        {"-5", "1F 00 00 00 00 00 00 14 C0"},
        {"+5", "1E 05 00"},
        {"2 3", "1E 17 00"},  // blanks are removed before reading
        {"65535", "1E FF FF"},
        {"65536", "1F 00 00 00 00 00 00 F0 40"},
        {"2.5", "1F 00 00 00 00 00 00 04 40"},
        {"-(2+3)", "1E 02 00 1E 03 00 03 15 13"},
        {"+(2+3)", "1E 02 00 1E 03 00 03 15 12"},
        {"2+3^2*4", "1E 02 00 1E 03 00 1E 02 00 07 1E 04 00 05 03"},
        {"1+2^2/4", "1E 01 00 1E 02 00 1E 02 00 07 1E 04 00 06 03"},
        {"8-3-2", "1E 08 00 1E 03 00 04 1E 02 00 04"},
        {"2^3^2", "1E 02 00 1E 03 00 07 1E 02 00 07"},
        {"2*-3", "1E 02 00 1F 00 00 00 00 00 00 08 C0 05"},
        {" 2 * ( 3 + 4 ) ", "1E 02 00 1E 03 00 1E 04 00 03 15 05"},
        {"((1))", "1E 01 00 15 15"},
        {"SUELDO/30", "1E DC 05 1E 1E 00 06"},
        {"-nega", "1F 00 00 00 00 00 00 04 40"},
        {"ROUND(SUELDO/7,2)", "1F E1 7A 14 AE 47 C9 6A 40"},  // 214.29
        {"-ROUND(SUELDO/7,2)", "1F E1 7A 14 AE 47 C9 6A C0"},
        // the totals formula of the exports
        {"_SUM(PriFil,Contag, UltFil, Contag )", "25 01 C0 28 C0 04 04 19 10 00"},
        {"_SUM(1,1,3,2,.T.,.F.,.F.,.T.)", "25 00 40 02 80 00 01 19 10 00"},
        {"_MULT(1,1,2,1)", "25 00 C0 01 C0 00 00 42 01 B7"},
        {"_CELL(3,4)", "44 02 C0 03"},
        {"_CELL(3,4,.T.,.T.)", "44 02 00 03"},
        {"_CELL(PRIFIL+1,CONTAG,1,0)", "44 02 40 04"},
        {"-_CELL(1,1)*2", "44 00 C0 00 13 1E 02 00 05"},
        {"_ROUND(_CELL(1,1)/3,2)", "44 00 C0 00 1E 03 00 06 1E 02 00 41 1B"},
        {"_ABS(-3)", "1F 00 00 00 00 00 00 08 C0 41 18"},
        {"_MOD(7;2)", "1E 07 00 1E 02 00 41 27"},
        {"_PI()", "41 13"},
        {"_RANDOM()", "41 3F"},
        {"_inte(2.5)+_sign(-1)", "1F 00 00 00 00 00 00 04 40 41 19 1F 00 00 00 00 00 00 F0 BF 41 1A 03"},
        {"_SQRT(16)", "1E 10 00 41 14"},
        {"_EXP(1)", "1E 01 00 41 15"},
        {"_LN(1)", "1E 01 00 41 16"},
        {"_LOG(1)", "1E 01 00 41 17"},
        {"_SIN(0)", "1E 00 00 41 0F"},
        {"_COS(0)", "1E 00 00 41 10"},
        {"_TAN(0)", "1E 00 00 41 11"},
        {"_ASIN(0)", "1E 00 00 41 62"},
        {"_ACOS(0)", "1E 00 00 41 63"},
        {"_ATAN(0)", "1E 00 00 41 12"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(to_hex(encode(c.text)), to_hex(hex(c.tokens))) << c.text;
    }
}

TEST(XlsFormula, ValuesMatchTheFormulaLanguage) {
    // Pure arithmetic: the encoder's tokens, evaluated in reverse Polish, must give what the
    // formula language computes for the same text.
    const char* const texts[] = {
        "2+3^2*4", "1+2^2/4", "2+3*4", "2*3+4", "(2+3)*4", "-(2+3)", "-(2+3)*2", "10-4-3", "100/10/5",
        "2^3^2", "-2^2", "2^-1", "2*-3+4", "1-(2-(3-4))", "((2+3)*(4-1))^2/5", "7-+-3", "--3",
        "1.5*4-0.25", "3^2^0.5", "12/4*3", "2-3^2", "-3*-3", "65535+1", "0.1+0.2",
        "SUELDO/30*15", "SUELDO-NEGA*2", "-NEGA^2",
    };
    Fixture f;
    for (const char* t : texts) {
        double expected = fo::compile(t, f.names).evaluate(f.env);
        EXPECT_DOUBLE_EQ(rpn(xls::encode_formula(t, f.scope())), expected) << t;
    }
}

TEST(XlsFormula, FunctionValuesByRpn) {
    auto cell = [](int r, int c) { return (r + 1) * 10.0 + (c + 1); };  // A1 = 11, B3 = 32
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"_SUM(1,1,3,1)", 11 + 21 + 31},
        {"_SUM(1,1,2,2)*2", (11 + 12 + 21 + 22) * 2},
        {"_MULT(1,1,2,1)", 11 * 21},
        {"_CELL(3,2)+1", 33},
        {"-_CELL(1,1)^2", 121},
        {"_ROUND(_CELL(1,1)/3,2)", 3.67},
        {"_ABS(2-_CELL(1,2))", 10},
        {"_MOD(_CELL(2,1),4)", 1},
        {"_SQRT(_SUM(1,1,1,1)+5)", 4},
        {"1+_PI()*0", 1},
    };
    for (const Case& c : cases) EXPECT_NEAR(rpn(encode(c.text), cell), c.value, 1e-9) << c.text;
}

TEST(XlsFormula, ProgramValuesAreConstants) {
    Fixture f;
    // A program function's text result is evaluated as the operand's value.
    EXPECT_EQ(to_hex(xls::encode_formula("IF(SUELDO>0,FORM,0)+1", f.scope())), to_hex(hex("1E 06 00 1E 01 00 03")));
    // A text literal of the expression itself (it lives in the compiled program).
    EXPECT_EQ(to_hex(xls::encode_formula("IF(SUELDO>0,\"5\",0)+1", f.scope())), to_hex(hex("1E 05 00 1E 01 00 03")));
    // A spreadsheet function inside a program expression evaluates to 1.
    EXPECT_EQ(to_hex(xls::encode_formula("MAX(_SUM(1,1,2,2),0)", f.scope())), to_hex(hex("1E 01 00")));
    EXPECT_EQ(to_hex(xls::encode_formula("_CELL(_CELL(9,9)+1,1)", f.scope())), to_hex(hex("44 01 C0 00")));
}

TEST(XlsFormula, Errors) {
    struct Case {
        const char* text;
        int number;
        const char* detail;
    };
    const Case cases[] = {
        {"_FOO(1)", 1, "\r\nFunction: _FOO"},
        {"2+_Bar(1)*3", 1, "\r\nFunction: _Bar"},
        {"MAX(_NOPE(1),2)", 1, "\r\nFunction: _NOPE"},
        {"2$3", 2, "\r\n$"},
        {"2+3)", 2, "\r\n)"},
        {"(2+3", 2, "\r\n("},
        {"((2)", 2, "\r\n("},
        {"_SUM(1,1,2,2", 2, "\r\n("},
        {"1.2.3", 2, "\r\n1.2.3"},
        {".", 2, "\r\n."},
        {"UNDEFINED+1", 2, "\r\nUNDEFINED"},
        {"TEXTO+1", 2, "\r\nTEXTO"},
        {"FECHA", 2, "\r\nFECHA"},
        {"NOSUCH(1)+1", 2, "\r\nNOSUCH(1)"},
        {"_ROUND(1)", 2, "\r\n_ROUND(1)"},
        {"_SUM(1,,2,2)", 2, "\r\n_SUM(1,,2,2)"},
        {"_CELL(1)", 2, "\r\n_CELL(1)"},
        {"_CELL(NADA,1)", 2, "\r\n_CELL(NADA,1)"},
        {"2+", 2, "\r\n+"},
        {"*2", 2, "\r\n*"},
        {"2*/3", 2, "\r\n/"},
        {"()", 2, "\r\n)"},
        {"", 2, "\r\n"},
        {"_CELL(0,1)", 5, "\r\n_CELL(0,1)"},
        {"_CELL(16385,1)", 5, "\r\n_CELL(16385,1)"},
        {"_SUM(1,1,2,257)", 5, "\r\n_SUM(1,1,2,257)"},
        {"_CELL(1.5,1)", 5, "\r\n_CELL(1.5,1)"},
    };
    Fixture f;
    for (const Case& c : cases) {
        std::string detail;
        EXPECT_EQ(error_of([&] { xls::encode_formula(c.text, f.scope()); }, &detail), c.number) << c.text;
        EXPECT_EQ(detail, c.detail) << c.text;
    }
    // Deep nesting is an error, not a stack overflow.
    std::string deep(5000, '(');
    deep += "1" + std::string(5000, ')');
    EXPECT_EQ(error_of([&] { xls::encode_formula(deep, f.scope()); }), 2);
    std::string deep_fn;
    for (int i = 0; i < 500; ++i) deep_fn += "_ABS(";
    deep_fn += "1" + std::string(500, ')');
    EXPECT_EQ(error_of([&] { xls::encode_formula(deep_fn, f.scope()); }), 2);
}

TEST(XlsFormula, ErrorObjects) {
    Fixture f;
    try {
        xls::encode_formula("_X(1)", f.scope());
        FAIL();
    } catch (const XlsError& e) {
        EXPECT_EQ(e.description(), "Non defined XLS function");
        EXPECT_EQ(e.severity(), 3);
        EXPECT_FALSE(e.can_default());
        EXPECT_EQ(e.subsystem(), "XlsWriter");
    }
    try {
        xls::encode_formula("#", f.scope());
        FAIL();
    } catch (const XlsError& e) {
        EXPECT_EQ(e.number(), 2);
        EXPECT_EQ(e.description(), "Formula syntactic error");
        EXPECT_EQ(e.operation(), "\r\n#");
        EXPECT_EQ(e.severity(), 3);
    }
}

TEST(XlsFormula, FormulaRecord) {
    Fixture f;
    std::ostringstream out;
    xls::XlsWriter w(out, xls::XlsStyles{});
    size_t start = out.str().size();
    w.Formula(42, 5, "_SUM(PriFil,Contag, UltFil, Contag )", f.scope(), {.font = 1, .border = 120, .align = 2}, 1234.5);
    w.Formula(1, 1, "2+3", f.scope(), {}, 5, false);
    std::string b = out.str().substr(start);
    EXPECT_EQ(to_hex(b), to_hex(hex("06 00 1B 00 29 00 04 00 00 40 7A") + f64(1234.5) +
                                hex("02 0A 25 01 C0 28 C0 04 04 19 10 00") +
                                hex("06 00 18 00 00 00 00 00 00 00 00") + f64(5) + hex("00 07 1E 02 00 1E 03 00 03")));
    // More than 255 bytes of tokens do not fit the record.
    std::string longf = "1.5";
    for (int i = 0; i < 30; ++i) longf += "+1.5";
    EXPECT_EQ(error_of([&] { w.Formula(1, 1, longf, f.scope()); }), 7);
    size_t before = out.str().size();
    EXPECT_EQ(error_of([&] { w.Formula(1, 1, "2+", f.scope()); }), 2);
    EXPECT_EQ(out.str().size(), before);
}
