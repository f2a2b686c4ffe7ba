// The maintenance run on a small company directory: what it removes and keeps, the tags it
// builds, the period tables it reaches, and the runs that must change nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "app/maintenance.hpp"
#include "cli/maint_tool.hpp"
#include "gui/headless.hpp"
#include "tests/app/maint_fixture.hpp"

using namespace maint_fixture;
using app::MaintenanceResult;

namespace {

struct MaintRun {
    gui::ScriptedUi ui;
    app::Session s;
    data::Workspace ws;
    MaintenanceResult r;

    explicit MaintRun(const Company& c) { s.RutaS = c.data; }
    MaintenanceResult& go(bool confirm = true) {
        ui.answer(confirm);
        r = app::U_MANT(s, ws, ui);
        return r;
    }
    std::vector<gui::Event> alerts() const { return ui.events(gui::EventKind::Alert); }
};

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

void expect_clean_indexes(const std::string& path, const std::vector<std::string>& tags) {
    SCOPED_TRACE(path);
    auto t = open_excl(path);
    EXPECT_EQ(t->check_indexes(), std::vector<std::string>{});
    std::vector<std::string> have;
    for (size_t i = 0; i < t->tag_count(); ++i) have.push_back(t->tag(i).name);
    EXPECT_EQ(have, tags);
}

// The tables whose only key is a code: a record with a blank code goes, the others stay.
const std::vector<std::pair<std::string, std::string>> kBlankKeyTables = {
    {"PERSONAL", "PECODEMP"}, {"CTOCTO", "CTCODIGO"}, {"AFP", "AFCODIGO"},     {"PRESTAMO", "PRCODEMP"},
    {"PRESDETA", "PDCODEMP"}, {"CONCEPTO", "CPCODIGO"}, {"USUARIOS", "CODIGO"}, {"FORMATOS", "FMCODIGO"},
    {"PLANCTA", "CUENTA"},    {"TARTPS2", "TRCODIGO"},  {"TACONCE", "TRCODIGO"}, {"PERSER", "PECODEMP"},
};

}  // namespace

TEST(Maintenance, RemovesKeepsAndRebuildsEveryIndex) {
    Company c;
    add(c, "EMPRESA", {{"EMCODIGO", "02"}, {"EMDESBRE", "OTRA"}});
    add(c, "EMPRESA", {{"EMCODIGO", "03"}});
    add(c, "TABLAS", {{"TBCODIGO", "02"}});
    std::map<std::string, std::vector<std::string>> expected;
    for (const auto& [base, field] : kBlankKeyTables) {
        add(c, base, {{field, "1"}});
        add(c, base, {{field, ""}});
        add(c, base, {{field, "2"}}, true);
        auto v = values(c, base, field);
        v.erase(std::remove(v.begin(), v.end(), std::string()), v.end());
        expected[base] = v;
    }
    // Tables without a condition keep blank keys but lose deleted records; the staging table
    // of the electronic return is not compacted at all.
    add(c, "BANCOS", {{"BCCODIGO", ""}});
    add(c, "BANCOS", {{"BCCODIGO", "001"}}, true);
    add(c, "RTAAAAMM", {{"CPCODEMP", "0001"}}, true);
    // Work tables: PLANTOT starts empty every time, the others keep their rows.
    for (const char* base : {"PLANTOT", "PLANVAC", "PLANGRA"}) add(c, base, {{"PLCODEMP", "0001"}});
    add(c, "ASICONC", {{"PLCODEMP", "0001"}});
    // Period tables inside and outside 2010-2015.
    for (const char* base : {"H1201103", "H2201107", "H3201512", "H1200912", "H1201601"}) make_period(c, base);
    add(c, "H1201103", {{"PLCODEMP", "0001"}, {"PLCTOCTO", "C1"}});
    add(c, "H1201103", {{"PLCODEMP", "0002"}}, true);
    open_excl(c.file("H1201103.DBF"))->create_tag({"EXTRA1", "PLCTOCTO + PLCODEMP"});
    const Snapshot before = snapshot(c.data);

    MaintRun run(c);
    run.ws.open(data::table("EMPRESA"), c.data);  // our own open areas are closed first
    run.ws.open(data::table("PERSONAL"), c.data);
    MaintenanceResult& r = run.go();
    ASSERT_EQ(r.outcome, MaintenanceResult::Outcome::Done) << r.problem << "\n" << run.ui.transcript();
    EXPECT_TRUE(run.ws.aliases().empty());

    EXPECT_EQ(values(c, "EMPRESA", "EMCODIGO"), std::vector<std::string>{"01"});
    EXPECT_EQ(values(c, "TABLAS", "TBCODIGO"), std::vector<std::string>{"01"});
    for (const auto& [base, field] : kBlankKeyTables) {
        EXPECT_EQ(values(c, base, field), expected[base]) << base;
        EXPECT_EQ(reccount(c, base), expected[base].size()) << base << " still holds deleted records";
    }
    EXPECT_EQ(values(c, "BANCOS", "BCCODIGO"), std::vector<std::string>{""});
    EXPECT_EQ(reccount(c, "BANCOS"), 1u);
    EXPECT_EQ(reccount(c, "RTAAAAMM"), 1u);
    EXPECT_EQ(reccount(c, "PLANTOT"), 0u);
    for (const char* base : {"PLANVAC", "PLANGRA", "ASICONC"}) EXPECT_EQ(reccount(c, base), 1u) << base;

    // The run's copy of the employee table in the company directory: same fields, empty.
    ASSERT_TRUE(fs::exists(c.file("TMPPER.DBF")));
    EXPECT_EQ(reccount(c, "TMPPER"), 0u);
    EXPECT_EQ(open_excl(c.file("TMPPER.DBF"))->fields().size(), open_excl(c.file("PERSONAL.DBF"))->fields().size());

    // Every index of the list and of the period tables in range is complete and consistent.
    for (const data::TableDef& def : data::catalogue()) {
        if (def.dir != data::DirKind::Company) continue;
        expect_clean_indexes(c.file(def.base + ".DBF"), upper_names(def.tags));
    }
    expect_clean_indexes(c.file("TMPPER.DBF"), upper_names(data::tags_of("TMPPER")));
    auto h1 = upper_names(data::payroll_tags(1));
    expect_clean_indexes(c.file("H1201103.DBF"), [&] { auto v = h1; v.push_back("EXTRA1"); return v; }());
    expect_clean_indexes(c.file("H2201107.DBF"), upper_names(data::payroll_tags(2)));
    expect_clean_indexes(c.file("H3201512.DBF"), upper_names(data::payroll_tags(3)));
    EXPECT_EQ(reccount(c, "H1201103"), 2u) << "period tables are not compacted";
    EXPECT_EQ(r.periods, (std::vector<std::string>{"H1201101", "H1201103", "H2201107", "H3201512"}));

    // Period tables outside the years of the sweep are not touched.
    const Snapshot after = snapshot(c.data);
    for (const char* f : {"H1200912.DBF", "H1200912.CDX", "H1201601.DBF", "H1201601.CDX"})
        EXPECT_EQ(after.files.at(f), before.files.at(f)) << f;

    ASSERT_GE(run.ui.events().size(), 1u);
    EXPECT_EQ(run.ui.events()[0].kind, gui::EventKind::Question);
    EXPECT_EQ(run.ui.events()[0].text, app::kMantQuestion);
    EXPECT_EQ(run.ui.events()[0].title, app::kMantTitle);
    auto alerts = run.alerts();
    ASSERT_EQ(alerts.size(), 2u) << run.ui.transcript();
    EXPECT_EQ(alerts[0].text, "Inicio de Indexamientos");
    EXPECT_EQ(alerts[0].title, "");
    EXPECT_EQ(alerts[1].text, "Fin de Indexamientos");
    EXPECT_EQ(alerts[1].title, "");
    EXPECT_EQ(run.ui.events(gui::EventKind::ProgressBegin).size(), 1u);
}

TEST(Maintenance, DecliningChangesNothing) {
    Company c;
    add(c, "EMPRESA", {{"EMCODIGO", "02"}});
    const Snapshot before = snapshot(c.data);
    MaintRun run(c);
    run.ws.open(data::table("EMPRESA"), c.data);
    EXPECT_EQ(run.go(false).outcome, MaintenanceResult::Outcome::Declined);
    EXPECT_EQ(run.ui.events().size(), 1u) << run.ui.transcript();
    EXPECT_TRUE(run.ws.is_open("Emp"));
    run.ws.close_all();
    EXPECT_EQ(changed(before, snapshot(c.data)), std::vector<std::string>{});
}

// Whatever stops the run before it starts, it stops before the first file is touched, also
// when the table concerned comes last.
TEST(Maintenance, RefusedRunsChangeNothing) {
    struct Case {
        const char* what;
        std::function<std::unique_ptr<xbase::Table>(const Company&)> setup;  // may hold a table open
        const char* title;
        const char* name;  // the file the alert names
    };
    const Case cases[] = {
        {"last table of the list held open",
         [](const Company& c) { return xbase::Table::open(c.file("RTAAAAMM.DBF")); }, data::kBusyTitle.data(),
         "RTAAAAMM.DBF"},
        {"last period table held open",
         [](const Company& c) {
             make_period(c, "H3201512");
             return xbase::Table::open(c.file("H3201512.DBF"));
         },
         data::kBusyTitle.data(), "H3201512.DBF"},
        {"work table to be replaced held open",
         [](const Company& c) {
             fs::copy_file(fs::path(c.prog) / "TMPPER.DBF", c.file("TMPPER.DBF"));
             return xbase::Table::open(c.file("TMPPER.DBF"));
         },
         data::kBusyTitle.data(), "TMPPER.DBF"},
        {"period table with a damaged header",
         [](const Company& c) {
             write_file(c.file("H1201104.DBF"), std::string(10, '\x03'));
             return std::unique_ptr<xbase::Table>();
         },
         app::kMantTitle, "H1201104.DBF"},
        {"table whose keys cannot be built from its fields",
         [](const Company& c) {
             fs::remove(c.file("CTOCTO.DBF"));
             fs::remove(c.file("CTOCTO.CDX"));
             xbase::Table::create(c.file("CTOCTO.DBF"), {{"CTCODIGO", 'C', 10}, {"CTDESCRI", 'C', 30}})->close();
             return std::unique_ptr<xbase::Table>();
         },
         app::kMantTitle, "CTOCTO.DBF"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Company c;
        add(c, "EMPRESA", {{"EMCODIGO", "02"}});
        add(c, "PERSONAL", {{"PECODEMP", ""}});
        auto held = k.setup(c);
        const Snapshot before = snapshot(c.data);
        MaintRun run(c);
        MaintenanceResult& r = run.go();
        EXPECT_EQ(r.outcome, MaintenanceResult::Outcome::Refused) << run.ui.transcript();
        EXPECT_EQ(changed(before, snapshot(c.data)), std::vector<std::string>{});
        auto alerts = run.alerts();
        ASSERT_EQ(alerts.size(), 2u) << run.ui.transcript();
        EXPECT_EQ(alerts[1].title, k.title);
        EXPECT_NE(alerts[1].text.find(k.name), std::string::npos) << alerts[1].text;
        if (std::string_view(k.title) == data::kBusyTitle) {
            EXPECT_EQ(alerts[1].text, std::string(data::kBusyText) + "\n" + k.name);
        }
    }
}

// Missing templates leave their work tables alone; missing tables are skipped and named;
// a template's memo file travels with it.
TEST(Maintenance, MissingTablesAndTemplates) {
    Company c;
    for (const char* f : {"PLANPER.DBF", "PLANPER.CDX", "PLANVAC.DBF", "PLANVAC.CDX", "MOVSER.DBF", "MOVSER.CDX",
                          "ASICON.DBF", "ASICON.CDX", "ASICONC.DBF", "ASICONC.CDX"})
        fs::remove(c.file(f));
    add(c, "PLANTOT", {{"PLCODEMP", "0001"}});
    // An accounting-entry template with a memo column.
    auto fields = data::fields_of("ASICON");
    fields.push_back({"PLNOTA", 'M', 10});
    {
        auto t = xbase::Table::create(c.file("ASICON.DBF"), fields);
        t->append_blank();
        t->put_text(t->field_index("PLCODEMP"), "0001");
        t->put_text(t->field_index("PLNOTA"), "glosa larga del asiento");
        t->close();
    }
    const Snapshot before = snapshot(c.data);

    MaintRun run(c);
    MaintenanceResult& r = run.go();
    ASSERT_EQ(r.outcome, MaintenanceResult::Outcome::Done) << r.problem << "\n" << run.ui.transcript();
    EXPECT_EQ(r.missing, (std::vector<std::string>{"MOVSER.DBF", "PLANPER.DBF"}));
    EXPECT_EQ(r.left_alone, (std::vector<std::string>{"PLANVAC (PLANPER)", "PLANTOT (PLANPER)"}));
    EXPECT_FALSE(fs::exists(c.file("PLANVAC.DBF")));
    const Snapshot after = snapshot(c.data);
    for (const char* f : {"PLANTOT.DBF", "PLANTOT.CDX"}) EXPECT_EQ(after.files.at(f), before.files.at(f)) << f;
    EXPECT_TRUE(contains(r.indexed, "PLANGRA"));

    auto copy = open_excl(c.file("ASICONC.DBF"));
    ASSERT_EQ(copy->reccount(), 1u);
    copy->go_top();
    EXPECT_EQ(copy->get_text(copy->field_index("PLNOTA")), "glosa larga del asiento");
    copy->close();
    expect_clean_indexes(c.file("ASICONC.DBF"), upper_names(data::tags_of("ASICONC")));
    expect_clean_indexes(c.file("ASICON.DBF"), upper_names(data::tags_of("ASICON")));

    const std::string end = run.alerts().back().text;
    EXPECT_EQ(end.rfind("Fin de Indexamientos\n", 0), 0u) << end;
    for (const char* name : {"MOVSER.DBF", "PLANPER.DBF", "PLANTOT (PLANPER)"})
        EXPECT_NE(end.find(name), std::string::npos) << name;
}

TEST(Maintenance, DamagedIndexFilesAreRebuilt) {
    Company c;
    make_period(c, "H1201103");
    add(c, "H1201103", {{"PLCODEMP", "0007"}});
    add(c, "PERSONAL", {{"PECODEMP", "0007"}});
    fs::resize_file(c.file("H1201103.CDX"), 700);                  // cut short
    write_file(c.file("PERSONAL.CDX"), std::string(1536, 'x'));  // not an index at all

    MaintRun run(c);
    MaintenanceResult& r = run.go();
    ASSERT_EQ(r.outcome, MaintenanceResult::Outcome::Done) << r.problem << "\n" << run.ui.transcript();
    EXPECT_TRUE(contains(r.damaged_indexes, "H1201103.CDX"));
    EXPECT_TRUE(contains(r.damaged_indexes, "PERSONAL.CDX"));
    expect_clean_indexes(c.file("H1201103.DBF"), upper_names(data::payroll_tags(1)));
    expect_clean_indexes(c.file("PERSONAL.DBF"), upper_names(data::tags_of("PERSONAL")));
    auto t = xbase::Table::open(c.file("H1201103.DBF"));
    t->set_order("Planper1");
    EXPECT_TRUE(t->seek("0007"));
}

TEST(Maintenance, CommandLine) {
    Company c;
    add(c, "EMPRESA", {{"EMCODIGO", "02"}});
    const Snapshot before = snapshot(c.data);
    std::ostringstream out, err;
    EXPECT_EQ(cli::run_maint({"--company", c.data}, out, err), 3) << err.str();
    EXPECT_EQ(cli::run_maint({"--company", c.data, "--no"}, out, err), 3) << err.str();
    EXPECT_EQ(cli::run_maint({"--yes"}, out, err), 2);
    EXPECT_EQ(changed(before, snapshot(c.data)), std::vector<std::string>{});

    {
        auto held = xbase::Table::open(c.file("PERPAG.DBF"));
        err.str("");
        EXPECT_EQ(cli::run_maint({"--company", c.data, "--yes"}, out, err), 1);
        EXPECT_NE(err.str().find(std::string(data::kBusyText) + " PERPAG.DBF"), std::string::npos) << err.str();
    }
    EXPECT_EQ(cli::run_maint({"--company=" + c.data, "--yes"}, out, err), 0) << err.str();
    EXPECT_EQ(values(c, "EMPRESA", "EMCODIGO"), std::vector<std::string>{"01"});

    // The hook runs first and can stop the run.
    EXPECT_EQ(cli::run_maint({"--company", c.data, "--yes"}, out, err, [](app::Session&, gui::Ui&) { return 5; }), 5);
}
