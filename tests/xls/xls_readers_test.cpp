// Files of XlsWriter read by independent programs: python3-xlrd (types, values, fonts,
// formats, column widths, row heights, page breaks) and gnumeric's ssconvert --recalc,
// which evaluates the formula tokens as written. Also the `planilla-cli xls write` tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "xls/xls_writer.hpp"

namespace fo = common::formula;
namespace fs = std::filesystem;

namespace {

// Runs a shell command; its standard output, and the exit status in `rc`.
std::string run(const std::string& cmd, int& rc) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        rc = -1;
        return out;
    }
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    int st = ::pclose(p);
    rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

bool have_xlrd() {
    int rc = 0;
    run("/usr/bin/python3 -c 'import xlrd' 2>/dev/null", rc);
    return rc == 0;
}

bool have_ssconvert() {
    int rc = 0;
    run("command -v ssconvert >/dev/null 2>&1", rc);
    return rc == 0;
}

class Dir {
public:
    Dir() : path_(fs::temp_directory_path() / ("xls_readers_" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~Dir() { fs::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// The sheet an export writes: a title, a header row, data rows and a totals row.
void write_representative(const std::string& path) {
    xls::XlsStyles st;
    int bold = st.font("Arial", 12, true);
    int small = st.font("Courier New", 8, false, true, true);
    st.font("Times New Roman", 9);
    st.font("Unused Fourth");
    int money = st.format("#,##0.00");
    int date = st.format("dd/mm/yyyy");

    fo::Names names;
    int prifil = names.add("PRIFIL"), ultfil = names.add("ULTFIL"), contag = names.add("CONTAG");
    fo::Env env(names);
    env.set_number(prifil, 3);
    env.set_number(ultfil, 5);

    xls::XlsWriter w(path, st);
    w.Col(1, 1, 25);
    w.Col(2, 3, 12.5);
    w.Col(4, 4, 5, true);
    w.Row(1, 18);
    w.String(1, 1, "Planilla de remuneraciones — Año 2024", {.font = bold});
    const char* heads[] = {"Nombre", "Sueldo", "Ingreso", "Activo"};
    for (int c = 0; c < 4; ++c) w.String(2, c + 1, heads[c], {.font = small, .border = 120, .align = 2});
    const char* people[] = {"Pérez Núñez, José", "García, María", "Quispe, Ángel"};
    const double pay[] = {1500.5, 2300, 65536.25};
    for (int i = 0; i < 3; ++i) {
        int r = 3 + i;
        w.String(r, 1, people[i], {.border = 120, .align = 1});
        w.Number(r, 2, pay[i], {.format = money});
        w.Date(r, 3, common::date_from_ymd(2020 + i, 3, 1 + i), {.format = date});
        w.Boolean(r, 4, i != 1);
    }
    w.Blank(6, 1);
    w.Error(6, 4, 0x07);  // #DIV/0!
    env.set_number(contag, 2);
    double total = pay[0] + pay[1] + pay[2];
    w.Formula(7, 2, "_SUM(PriFil,Contag, UltFil, Contag )", {names, env}, {.font = bold, .format = money}, total);
    w.Number(8, 1, 7);
    w.Number(8, 2, -3);
    w.Number(8, 3, 0.5);
    w.Note(1, 1, "Exportado por planilla");
    w.SetDisplay({.show_gridlines = false});
    w.SetPrinter({.left = 0.6, .top = 0.6, .bottom = 0.8});
    std::vector<int> rows = {6, 3}, cols = {3};
    w.AddBreak("HORIZONTAL", rows);
    w.AddBreak("VERTICAL", cols);
    w.End();
}

const char* const kXlrdScript = R"PY(
import json, sys, xlrd
b = xlrd.open_workbook(sys.argv[1], encoding_override='cp1252', formatting_info=True)
s = b.sheet_by_index(0)
cells = []
for r in range(s.nrows):
    for c in range(s.ncols):
        x = s.cell(r, c)
        if x.ctype == xlrd.XL_CELL_EMPTY:
            continue
        xf = b.xf_list[x.xf_index]
        cells.append({"r": r, "c": c, "t": x.ctype, "v": x.value, "font": xf.font_index,
                      "fmt": b.format_map[xf.format_key].format_str})
out = {
    "cells": cells,
    "fonts": [[f.name, f.height, f.bold, f.italic, f.underline_type, f.struck_out] for f in b.font_list],
    "cols": {str(k): v.width for k, v in s.colinfo_map.items()},
    "rows": {str(k): v.height for k, v in s.rowinfo_map.items()},
    "hbreaks": [p[0] for p in s.horizontal_page_breaks],
    "vbreaks": [p[0] for p in s.vertical_page_breaks],
}
print(json.dumps(out))
)PY";

nlohmann::json read_with_xlrd(const Dir& d, const std::string& xls) {
    std::string script = d.file("read.py");
    std::ofstream(script) << kXlrdScript;
    int rc = 0;
    std::string out = run("/usr/bin/python3 " + script + " " + xls, rc);
    EXPECT_EQ(rc, 0) << out;
    return nlohmann::json::parse(out);
}

const nlohmann::json* cell(const nlohmann::json& j, int r, int c) {
    for (const auto& x : j["cells"])
        if (x["r"] == r - 1 && x["c"] == c - 1) return &x;
    return nullptr;
}

}  // namespace

TEST(XlsReaders, XlrdReadsTheRepresentativeSheet) {
    if (!have_xlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    Dir d;
    std::string path = d.file("sheet.xls");
    write_representative(path);
    nlohmann::json j = read_with_xlrd(d, path);

    struct Expect {
        int r, c, type;  // xlrd cell types: 1 text, 2 number, 3 date, 4 boolean, 5 error, 6 blank
        nlohmann::json value;
        int font;
        const char* format;
    };
    const Expect cases[] = {
        {1, 1, 1, "Planilla de remuneraciones — Año 2024", 1, "General"},
        {2, 1, 1, "Nombre", 2, "General"},
        {2, 4, 1, "Activo", 2, "General"},
        {3, 1, 1, "Pérez Núñez, José", 0, "General"},
        {5, 1, 1, "Quispe, Ángel", 0, "General"},
        {3, 2, 2, 1500.5, 0, "#,##0.00"},
        {4, 2, 2, 2300.0, 0, "#,##0.00"},
        {5, 2, 2, 65536.25, 0, "#,##0.00"},
        {3, 3, 3, 43891.0, 0, "dd/mm/yyyy"},  // 2020-03-01
        {5, 3, 3, 44623.0, 0, "dd/mm/yyyy"},  // 2022-03-03
        {3, 4, 4, 1, 0, "General"},
        {4, 4, 4, 0, 0, "General"},
        {6, 1, 6, "", 0, "General"},
        {6, 4, 5, 0x07, 0, "General"},
        {7, 2, 2, 1500.5 + 2300 + 65536.25, 1, "#,##0.00"},  // the cached value of the total
        {8, 1, 2, 7.0, 0, "General"},
        {8, 2, 2, -3.0, 0, "General"},
        {8, 3, 2, 0.5, 0, "General"},
    };
    for (const Expect& e : cases) {
        const nlohmann::json* x = cell(j, e.r, e.c);
        ASSERT_NE(x, nullptr) << e.r << "," << e.c;
        EXPECT_EQ((*x)["t"], e.type) << e.r << "," << e.c;
        EXPECT_EQ((*x)["v"], e.value) << e.r << "," << e.c;
        EXPECT_EQ((*x)["font"], e.font) << e.r << "," << e.c;
        EXPECT_EQ((*x)["fmt"], e.format) << e.r << "," << e.c;
    }
    EXPECT_EQ(j["fonts"], nlohmann::json::parse(R"([["Arial",200,0,0,0,0],["Arial",240,1,0,0,0],
        ["Courier New",160,0,1,1,0],["Times New Roman",180,0,0,0,0]])"));
    EXPECT_EQ(j["cols"], nlohmann::json::parse(R"({"0":6584,"1":3384,"2":3384,"3":0})"));
    EXPECT_EQ(j["rows"]["0"], 360);
    EXPECT_EQ(j["hbreaks"], nlohmann::json::parse("[2,5]"));
    EXPECT_EQ(j["vbreaks"], nlohmann::json::parse("[2]"));
}

namespace {

// A sheet of formulas whose cached values are 0, so only a recalculation shows numbers.
struct FormulaCase {
    const char* text;
    double value;
};
const FormulaCase kGnumericCases[] = {
    {"2+3^2*4", 38},
    {"1+2^2/4", 2},
    {"-(2+3)", -5},
    {"-(2+3)*2", -10},
    {"2+3*4", 14},
    {"2*3+4", 10},
    {"(2+3)*4", 20},
    {"10-4-3", 3},
    {"100/10/5", 2},
    {"2^3^2", 64},
    {"-5+65536", 65531},
    {"2.5*-2", -5},
    {"_SUM(1,1,3,1)", 60},            // A1:A3 = 10, 20, 30
    {"_SUM(1,1,3,1)/_CELL(1,1)", 6},
    {"-_CELL(2,1)^2", 400},
    {"_MULT(1,1,2,1)", 200},
    {"_ROUND(_CELL(1,1)/3,2)", 3.33},
    {"_MOD(_CELL(3,1),7)", 2},
    {"_ABS(5-_CELL(2,1))", 15},
    {"_INTE(2.7)+_SIGN(-4)", 1},
    {"_SQRT(16)+_PI()*0", 4},
    {"_CELL(1,1,.T.,.T.)+PRIFIL", 12},
};

}  // namespace

TEST(XlsReaders, GnumericRecalculatesTheTokens) {
    if (!have_ssconvert()) GTEST_SKIP() << "gnumeric's ssconvert is not installed";
    Dir d;
    std::string path = d.file("formulas.xls");
    fo::Names names;
    int prifil = names.add("PRIFIL");
    fo::Env env(names);
    env.set_number(prifil, 2);
    {
        xls::XlsWriter w(path, xls::XlsStyles{});
        w.Number(1, 1, 10);
        w.Number(2, 1, 20);
        w.Number(3, 1, 30);
        int r = 1;
        for (const FormulaCase& c : kGnumericCases) w.Formula(r++, 2, c.text, {names, env});
        w.End();
    }
    std::string csv = d.file("formulas.csv");
    int rc = 0;
    std::string log = run("HOME=" + d.file("") + " ssconvert --recalc " + path + " " + csv + " 2>&1", rc);
    ASSERT_EQ(rc, 0) << log;
    std::ifstream in(csv);
    std::string line;
    std::vector<double> got;
    while (std::getline(in, line)) {
        size_t comma = line.find(',');
        ASSERT_NE(comma, std::string::npos) << line;
        got.push_back(std::stod(line.substr(comma + 1)));
    }
    ASSERT_EQ(got.size(), std::size(kGnumericCases));
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], kGnumericCases[i].value, 1e-9) << kGnumericCases[i].text;
}

TEST(XlsReaders, CliWritesASheetFromJsonLines) {
    Dir d;
    std::string path = d.file("cli.xls");
    std::string input = d.file("in.jsonl");
    std::ofstream(input) << R"J({"font":["Arial",12,true,false,false,false]}
{"format":"0.00"}
{"colwidth":[1,2,20]}
{"rowheight":[1,15]}
{"row":1,"col":1,"value":"Año","font":1,"align":2,"border":120}
{"row":2,"col":1,"value":2.5,"format":1}
{"row":3,"col":1,"value":"20240115","type":"date"}
{"row":4,"col":1,"value":false}
{"row":5,"col":1,"value":null}
{"set":{"PRIFIL":2}}
{"row":6,"col":1,"formula":"_SUM(PRIFIL,1,2,1)","value":2.5}
{"hbreaks":[5]}
)J";
    int rc = 0;
    std::string out = run(std::string(PLANILLA_CLI) + " xls write " + path + " < " + input + " 2>&1", rc);
    ASSERT_EQ(rc, 0) << out;
    ASSERT_TRUE(fs::exists(path));
    if (have_xlrd()) {
        nlohmann::json j = read_with_xlrd(d, path);
        EXPECT_EQ((*cell(j, 1, 1))["v"], "Año");
        EXPECT_EQ((*cell(j, 1, 1))["font"], 1);
        EXPECT_EQ((*cell(j, 2, 1))["fmt"], "0.00");
        EXPECT_EQ((*cell(j, 3, 1))["v"], 45306.0);
        EXPECT_EQ((*cell(j, 4, 1))["t"], 4);
        EXPECT_EQ((*cell(j, 6, 1))["v"], 2.5);
        EXPECT_EQ(j["cols"]["1"], 5304);
        EXPECT_EQ(j["rows"]["0"], 300);
        EXPECT_EQ(j["hbreaks"], nlohmann::json::parse("[4]"));
    }

    struct Bad {
        const char* lines;
        int rc;
        const char* message;
    };
    const Bad bad[] = {
        {R"({"row":1,"col":1,"value":1})" "\n" R"({"format":"0"})", 2, "línea 2"},
        {R"({"row":0,"col":1,"value":1})", 1, "XlsWriter 5"},
        {R"({"row":1,"col":1,"formula":"2+"})", 1, "XlsWriter 2: Formula syntactic error +"},
        {R"J({"row":1,"col":1,"formula":"_NADA(1)"})J", 1, "XlsWriter 1: Non defined XLS function Function: _NADA"},
        {R"({"row":1,"col":1,"value":1,"format":64})", 1, "XlsWriter 6"},
        {"not json", 2, "JSON"},
        {R"({"row":1,"col":1,"value":"x","type":"date"})", 2, "fecha"},
    };
    for (const Bad& b : bad) {
        std::string bad_out = d.file("bad.xls");
        std::ofstream(input, std::ios::trunc) << b.lines << "\n";
        std::string msg = run(std::string(PLANILLA_CLI) + " xls write " + bad_out + " < " + input + " 2>&1", rc);
        EXPECT_EQ(rc, b.rc) << b.lines;
        EXPECT_NE(msg.find(b.message), std::string::npos) << msg;
        EXPECT_FALSE(fs::exists(bad_out)) << "a failed write leaves no file: " << b.lines;
    }
    std::string usage = run(std::string(PLANILLA_CLI) + " xls 2>&1", rc);
    EXPECT_EQ(rc, 2);
    std::string unwritable = run(std::string(PLANILLA_CLI) + " xls write /nonexistent-xls/x.xls < /dev/null 2>&1", rc);
    EXPECT_EQ(rc, 1);
    EXPECT_NE(unwritable.find("XlsWriter 4"), std::string::npos) << unwritable;
}
