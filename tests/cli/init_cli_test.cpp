// `planilla-cli init`: what a new installation holds, that an independent reader reads it,
// the refusals, the clean-up after a failure, and the demo company's consistency.
#include "cli/init_tool.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "common/formula.hpp"
#include "data/catalogue.hpp"
#include "data/demo.hpp"
#include "masters/company_init.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "init_cli_test.XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        path = t;
    }
    ~TempDir() { fs::remove_all(path); }
};

struct Outcome {
    int rc;
    std::string out, err;
};

Outcome init(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int rc = cli::run_init(args, out, err);
    return {rc, out.str(), err.str()};
}

std::unique_ptr<xbase::Table> open(const fs::path& p) { return xbase::Table::open(p.string(), {false, true}); }

std::string txt(xbase::Table& t, const char* f) {
    std::string s = t.get_text(t.field_index(f));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(dir)) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

TEST(InitCli, CreatesEverything) {
    TempDir tmp;
    const fs::path prog = tmp.path / "prog", emp = tmp.path / "emp";
    Outcome r = init({prog.string(), "--company", emp.string()});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(r.err.empty());

    // Every company table with its index, plus the payroll table of the current period.
    std::set<std::string> expected;
    for (const auto& def : data::catalogue()) {
        if (def.dir != data::DirKind::Company) continue;
        expected.insert(def.base + ".DBF");
        expected.insert(def.base + ".CDX");
        auto t = open(emp / (def.base + ".DBF"));
        EXPECT_EQ(t->tag_count(), def.tags.size()) << def.base;
        EXPECT_TRUE(t->check_indexes().empty()) << def.base;
    }
    expected.insert("H1201101.DBF");
    expected.insert("H1201101.CDX");
    EXPECT_EQ(names(emp), std::vector<std::string>(expected.begin(), expected.end()));
    EXPECT_EQ(names(prog), (std::vector<std::string>{"TMPPER.CDX", "TMPPER.DBF", "VIA.CDX", "VIA.DBF"}));

    auto via = open(prog / "VIA.DBF");
    ASSERT_EQ(via->reccount(), 1u);
    via->set_order("vicodigo");
    ASSERT_TRUE(via->seek("01"));
    EXPECT_EQ(txt(*via, "VIRUTA"), emp.string());
    EXPECT_TRUE(via->check_indexes().empty());

    auto company = open(emp / "EMPRESA.DBF");
    company->set_order("Emp1");
    ASSERT_TRUE(company->seek("01"));
    EXPECT_EQ(txt(*company, "EMPERPAG"), "201101");
    auto params = open(emp / "TABLAS.DBF");
    params->set_order("Tablas1");
    ASSERT_TRUE(params->seek("01"));
    EXPECT_EQ(open(emp / "PERPAG.DBF")->reccount(), 72u);

    // The current payroll table is a copy of the template, with the remuneration tags.
    auto h1 = open(emp / "H1201101.DBF");
    auto tpl = open(emp / "PLANPER.DBF");
    EXPECT_EQ(h1->fields().size(), tpl->fields().size());
    ASSERT_EQ(h1->tag_count(), 9u);
    EXPECT_EQ(h1->tag(8).name, "PLANPER9");
    EXPECT_EQ(open(emp / "PLANVAC.DBF")->tag(0).name, "PLANVAC1");

    // Nothing of the work in progress is left beside the directories.
    EXPECT_EQ(names(tmp.path), (std::vector<std::string>{"emp", "prog"}));
}

TEST(InitCli, IndependentReaderReadsEveryTable) {
    TempDir tmp;
    const fs::path prog = tmp.path / "prog", emp = tmp.path / "emp";
    Outcome r = init({prog.string(), "--company", emp.string(), "--demo"});
    ASSERT_EQ(r.rc, 0) << r.err;
    for (const fs::path& dir : {emp, prog}) {
        for (const std::string& f : names(dir)) {
            if (fs::path(f).extension() != ".DBF") continue;
            SCOPED_TRACE(f);
            std::string cmd = "/usr/bin/python3 " + std::string(PLANILLA_SOURCE_DIR) + "/tests/xbase/tools/read_dbf.py '" +
                              (dir / f).string() + "' 2>&1";
            FILE* p = ::popen(cmd.c_str(), "r");
            ASSERT_NE(p, nullptr);
            std::string text;
            char buf[4096];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
            ASSERT_EQ(::pclose(p), 0) << text;
            size_t lines = size_t(std::count(text.begin(), text.end(), '\n'));
            EXPECT_EQ(lines, open(dir / f)->reccount());
            if (f == "PERSONAL.DBF") {
                EXPECT_NE(text.find("\"HUAMÁN\""), std::string::npos);  // text in the table's code page
            }
        }
    }
}

TEST(InitCli, RefusesAndLeavesNothingBehind) {
    TempDir tmp;
    const fs::path prog = tmp.path / "prog", emp = tmp.path / "emp";
    // An existing company directory, even an empty one.
    fs::create_directory(emp);
    Outcome r = init({prog.string(), "--company", emp.string()});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(emp));
    EXPECT_FALSE(fs::exists(prog));
    fs::remove(emp);

    // A program directory that already has a path table.
    fs::create_directory(prog);
    std::FILE* f = std::fopen((prog / "via.dbf").c_str(), "w");
    std::fclose(f);
    r = init({prog.string(), "--company", emp.string()});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("already holds VIA"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(emp));
    fs::remove(prog / "via.dbf");

    // A failure after the company directory was moved into place removes it again, and the
    // program directory that existed before keeps only what it had.
    std::FILE* keep = std::fopen((prog / "PLANILLA.EXE").c_str(), "w");
    std::fclose(keep);
    masters::InitOptions o;
    o.program_dir = prog.string();
    o.data_dir = emp.string();
    o.on_stage = [](std::string_view s) {
        if (s == "done") throw std::runtime_error("disk full");
    };
    try {
        masters::init_company(o);
        ADD_FAILURE() << "no error";
    } catch (const masters::InitError& e) {
        EXPECT_NE(std::string(e.what()).find("disk full"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(emp));
    EXPECT_EQ(names(prog), std::vector<std::string>{"PLANILLA.EXE"});
    EXPECT_EQ(names(tmp.path), std::vector<std::string>{"prog"});

    // With the program directory in place the same call succeeds and keeps its files.
    o.on_stage = nullptr;
    masters::init_company(o);
    EXPECT_EQ(names(prog), (std::vector<std::string>{"PLANILLA.EXE", "TMPPER.CDX", "TMPPER.DBF", "VIA.CDX", "VIA.DBF"}));
}

TEST(InitCli, Arguments) {
    struct Case {
        std::vector<std::string> args;
        int rc;
    };
    const Case cases[] = {{{}, 2},
                          {{"prog"}, 2},
                          {{"prog", "--company"}, 2},
                          {{"--company", "emp"}, 2},
                          {{"prog", "--company", "a", "--company", "b"}, 2},
                          {{"prog", "other", "--company", "emp"}, 2},
                          {{"prog", "--company", "emp", "--demos"}, 2},
                          {{"--help"}, 0}};
    for (const Case& c : cases) {
        Outcome r = init(c.args);
        EXPECT_EQ(r.rc, c.rc) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.err.empty(), c.rc == 0);
    }
}

// The demo company hangs together: every code an employee or concept carries exists where
// it points, formulas parse, and the payroll table of the period has the active employees.
TEST(InitCli, DemoFillsConsistentTables) {
    TempDir tmp;
    const fs::path prog = tmp.path / "prog", emp = tmp.path / "emp";
    ASSERT_EQ(init({prog.string(), "--company", emp.string(), "--demo"}).rc, 0);

    auto codes = [&](const char* table, const char* field) {
        std::set<std::string> r;
        auto t = open(emp / table);
        for (t->go_top(); !t->eof(); t->skip()) r.insert(txt(*t, field));
        return r;
    };
    const auto banks = codes("BANCOS.DBF", "BCCODIGO"), centres = codes("CTOCTO.DBF", "CTCODIGO"),
               funds = codes("AFP.DBF", "AFCODIGO"), accounts = codes("PLANCTA.DBF", "CUENTA"),
               concepts = codes("CONCEPTO.DBF", "CPCODIGO"), returns = codes("TACONCE.DBF", "TRCODIGO");
    EXPECT_GE(banks.size(), 3u);
    EXPECT_GE(centres.size(), 3u);
    EXPECT_GE(funds.size(), 3u);

    auto per = open(emp / "PERSONAL.DBF");
    EXPECT_GE(per->reccount(), 20u);
    std::set<std::string> dnis;
    size_t active = 0;
    for (per->go_top(); !per->eof(); per->skip()) {
        SCOPED_TRACE(txt(*per, "PECODEMP"));
        const std::string dni = txt(*per, "PELIBELE");
        EXPECT_EQ(dni.size(), 8u);
        EXPECT_TRUE(dnis.insert(dni).second);
        EXPECT_TRUE(centres.count(txt(*per, "PECTOCTO")));
        EXPECT_TRUE(banks.count(txt(*per, "PECODBCO")));
        EXPECT_TRUE(banks.count(txt(*per, "PEBCOCTS")));
        const std::string fund = txt(*per, "PECODAFP");
        EXPECT_TRUE(fund.empty() || funds.count(fund));
        EXPECT_EQ(txt(*per, "PENUMSPP").empty(), fund.empty());
        EXPECT_LT(per->get_date(per->field_index("PEFECNAC")), per->get_date(per->field_index("PEFECING")));
        if (per->get_number(per->field_index("PEACTIVI")) == 1) ++active;
    }
    auto h1 = open(emp / (data::payroll_table_name(1, data::demo::kPeriod) + ".DBF"));
    EXPECT_EQ(h1->reccount(), active);
    EXPECT_TRUE(h1->check_indexes().empty());
    for (h1->go_top(); !h1->eof(); h1->skip()) EXPECT_GT(h1->get_number(h1->field_index("SUELDO")), 0);

    auto con = open(emp / "CONCEPTO.DBF");
    std::set<std::string> aliases;
    for (con->go_top(); !con->eof(); con->skip()) {
        SCOPED_TRACE(txt(*con, "CPCODIGO"));
        EXPECT_TRUE(aliases.insert(txt(*con, "CPALIAS")).second);
        EXPECT_GE(h1->field_index(txt(*con, "CPALIAS")), 0);  // a payroll column per concept
        EXPECT_EQ(common::formula::check_syntax(txt(*con, "CPFORMUL")), "");
        for (const char* f : {"CPCTADEB", "CPCTAHAB"}) {
            const std::string a = txt(*con, f);
            EXPECT_TRUE(a.empty() || accounts.count(a)) << a;
        }
        const std::string rc = txt(*con, "CPCORTPS");
        EXPECT_TRUE(rc.empty() || returns.count(rc)) << rc;
    }

    // The company record names existing concepts; the suspension table names a concept.
    auto company = open(emp / "EMPRESA.DBF");
    company->set_order("Emp1");
    ASSERT_TRUE(company->seek("01"));
    EXPECT_EQ(txt(*company, "EMPERPAG"), data::demo::kPeriod);
    EXPECT_EQ(txt(*company, "EMREGUNI").size(), 11u);
    for (const char* f : {"EMCONAFP1", "EMDSCAFP1", "EMCTOTREM", "EMCNETPAG", "EMCDIATRA", "EMCON5TA"})
        EXPECT_TRUE(concepts.count(txt(*company, f))) << f;
    auto tart = open(emp / "TARTPS2.DBF");
    tart->set_order("Tart1");
    ASSERT_TRUE(tart->seek("21"));
    int named = 0;
    for (; !tart->eof() && txt(*tart, "TRCODIGO") == "21"; tart->skip())
        if (concepts.count(txt(*tart, "TRREFER3"))) ++named;
    EXPECT_GT(named, 0);

    auto afp = open(emp / "AFP.DBF");
    for (afp->go_top(); !afp->eof(); afp->skip())
        for (int m = 1; m <= 12; ++m) {
            char f[16];
            std::snprintf(f, sizeof f, "AFIMP%02d1", m);
            EXPECT_GT(afp->get_number(afp->field_index(f)), 0);
        }
}

}  // namespace
