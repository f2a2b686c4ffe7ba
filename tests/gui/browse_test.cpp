// Browses over a fixture table (tag order, filter, deleted records hidden) and over an
// array; the master-file frame's key routing; menu enabling from a permission string; the
// console backend's answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "gui/browse.hpp"
#include "gui/headless.hpp"
#include "gui/mainwin.hpp"
#include "gui/master_frame.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;
using namespace gui;

namespace {

struct TempDir {
    fs::path dir;
    TempDir() {
        char tmpl[] = "/tmp/planilla-browse-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(dir); }
    std::string copy(const std::string& table) {
        for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
            fs::path src = fs::path(PLANILLA_FIXTURES) / "xbase" / (table + ext);
            if (fs::exists(src)) {
                fs::copy_file(src, dir / (table + ext));
                fs::permissions(dir / (table + ext), fs::perms::owner_write, fs::perm_options::add);
            }
        }
        return (dir / (table + ".dbf")).string();
    }
};

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// PERSONAL's records from the manifest: code, surname key, state, deleted.
struct Person {
    std::string code, key;
    int state;
    bool deleted;
};

std::vector<Person> manifest_people() {
    std::ifstream in(fs::path(PLANILLA_FIXTURES) / "xbase" / "manifest.json");
    auto m = nlohmann::json::parse(in);
    std::vector<Person> out;
    for (const auto& t : m["tables"])
        if (t["table"] == "PERSONAL")
            for (const auto& r : t["records"]) {
                const auto& v = r["values"];
                out.push_back({v["PECODEMP"].get<std::string>(),
                               v["PEAPELLI"].get<std::string>() + v["PEAPELL2"].get<std::string>() +
                                   v["PENOMBRE"].get<std::string>(),
                               v["PEACTIVI"].get<int>(), r["deleted"].get<bool>()});
            }
    return out;
}

}  // namespace

TEST(Browse, TableInTagOrderWithFilterAndDeletedHidden) {
    TempDir tmp;
    auto t = xbase::Table::open(tmp.copy("PERSONAL"));
    t->set_order("PER2");
    t->set_filter([](xbase::Table& tb) { return tb.get_number(tb.field_index("PEACTIVI")) < 7; });

    std::vector<Person> want;
    for (const auto& p : manifest_people())
        if (!p.deleted && p.state < 7) want.push_back(p);
    std::stable_sort(want.begin(), want.end(), [](const Person& a, const Person& b) { return a.key < b.key; });
    ASSERT_GT(want.size(), 100u);

    t->go_top();
    auto source = std::make_shared<TableSource>(*t);
    auto browse = std::make_shared<Browse>(
        source, std::vector<BrowseColumn>{field_column(*t, "PECODEMP", "Codigo"), field_column(*t, "PEAPELLI", "Apellido"),
                                          field_column(*t, "PESUELDO", "Sueldo", "99,999.99")});
    EXPECT_LT(browse->loaded(), want.size());  // rows load in chunks
    ASSERT_EQ(browse->rows(), want.size());
    for (size_t i : {size_t{0}, want.size() / 2, want.size() - 1}) {
        EXPECT_EQ(browse->cell(i, 0), want[i].code) << i;
        EXPECT_EQ(browse->cell(i, 1), rtrim(want[i].key.substr(0, 20))) << i;
    }
    EXPECT_EQ(browse->columns()[2].align, Align::Right);

    // Selecting moves the table; a seek by the screen followed by sync moves the highlight.
    browse->select(5);
    EXPECT_EQ(rtrim(t->get_text(t->field_index("PECODEMP"))), want[5].code);
    browse->cell(40, 0);  // formatting another row leaves the table on the selected record
    EXPECT_EQ(rtrim(t->get_text(t->field_index("PECODEMP"))), want[5].code);
    size_t k = 77;
    while (want[k].key == want[k - 1].key) ++k;  // a key that starts its own run
    ASSERT_TRUE(t->seek(want[k].key));
    browse->sync();
    EXPECT_EQ(browse->selected(), k);
    // A failed seek leaves the table at end of file: the highlight stays where it was.
    EXPECT_FALSE(t->seek("ZZZZZZZZZZ"));
    browse->sync();
    EXPECT_EQ(browse->selected(), k);
}

TEST(Browse, MasterFrameRoutesKeysAndMovesUpAfterDelete) {
    TempDir tmp;
    auto t = xbase::Table::open(tmp.copy("PERSONAL"));
    t->set_order("PER1");
    auto browse = std::make_shared<Browse>(std::make_shared<TableSource>(*t),
                                           std::vector<BrowseColumn>{field_column(*t, "PECODEMP", "Codigo")});
    ScriptedUi ui;
    std::vector<std::string> calls;
    MasterScreen screen;
    screen.title = "Personal";
    screen.browse = browse;
    int code = t->field_index("PECODEMP");
    screen.on_new = [&] { calls.push_back("new"); };
    screen.on_modify = [&] { calls.push_back("modify " + rtrim(t->get_text(code))); };
    screen.on_delete = [&] {
        calls.push_back("delete " + rtrim(t->get_text(code)));
        ASSERT_TRUE(t->lock_record());
        t->delete_record();
        t->unlock_record();
    };
    screen.on_search = [&] {
        auto key = ui.prompt(PromptSpec{"Buscar por", "Codigo", "", "@!", 4, "lupa"});
        if (key) t->seek(*key, true);
    };
    std::string third;
    ui.dialog("Archivos")
        .call([](Dialog& d) {
            EXPECT_FALSE(d.visible(175));
            EXPECT_FALSE(d.visible(127));  // this screen has no spreadsheet export
            EXPECT_EQ(d.focused(), master_ids::kBrowse);
        })
        .browse_row(181, 3)
        .call([&](Dialog& d) { third = d.browse(181).cell(2, 0); })
        .browse_enter(181)
        .browse_insert(181)
        .browse_delete(181)
        .call([&](Dialog& d) {
            EXPECT_EQ(d.browse(181).selected(), 2u);
            EXPECT_EQ(rtrim(t->get_text(code)), third);
        })
        .press(200)
        .press(240);
    ui.reply("0500");
    run_master(ui, screen);
    ui.expect_done();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].substr(0, 6), "modify");
    EXPECT_EQ(calls[1], "new");
    EXPECT_EQ(calls[2], "delete " + calls[0].substr(7));
}

TEST(Browse, ArrayRows) {
    auto src = std::make_shared<ArraySource>(std::vector<std::vector<std::string>>{{"0001", "ANA"}, {"0002", "LUIS"}});
    Browse b(src, {src->column(0, "Codigo", 4), src->column(1, "Nombre", 20)});
    EXPECT_EQ(b.rows(), 2u);
    EXPECT_EQ(b.cell(1, 1), "LUIS");
    b.select(1);
    EXPECT_EQ(src->current(), 1u);
    b.move_up();
    b.move_up();
    EXPECT_EQ(b.selected(), 0u);
}

TEST(MainWindow, MenuEnablingFollowsThePermissionString) {
    std::string permis(254, 'S');
    permis[25] = 'N';  // position 26
    auto allowed = [&](int pos) { return [&permis, pos] { return permis[static_cast<size_t>(pos - 1)] == 'S'; }; };
    std::vector<std::string> ran;
    MainWindow w;
    w.title = "DEMO - Dic 2026";
    MenuItem procesos{"&Procesos", "", {}, {}, {}};
    procesos.children.push_back({"&Cálculo de la Planilla", "Proceso del cálculo de la planilla",
                                 [&] { ran.push_back("P_CAL"); }, allowed(25), {}});
    procesos.children.push_back(MenuItem::separator_line());
    procesos.children.push_back(
        {"&Boletas de Pago", "Impresión de las boletas", [&] { ran.push_back("P_BOL"); }, allowed(26), {}});
    w.menus.push_back(procesos);
    w.tools.push_back({"salir", "Salir", [&] { w.close(); }, {}});

    EXPECT_TRUE(w.find({"Procesos", "Cálculo de la Planilla"})->enabled());
    EXPECT_FALSE(w.find({"&Procesos", "&Boletas de Pago"})->enabled());

    ScriptedUi ui;
    ui.choose({"Procesos", "Cálculo de la Planilla"});
    ui.in_main([&](MainWindow&) { permis[25] = 'S'; });  // a new login: no menu rebuild
    ui.choose({"Procesos", "Boletas de Pago"});
    ui.tool("Salir");
    ui.run_main(w);
    EXPECT_EQ(ran, (std::vector<std::string>{"P_CAL", "P_BOL"}));
    EXPECT_TRUE(w.closed());

    permis[25] = 'N';
    ScriptedUi ui2;
    ui2.choose({"Procesos", "Boletas de Pago"});
    w.reopen();
    EXPECT_THROW(ui2.run_main(w), ScriptError);
}

TEST(ConsoleUi, AlertsToStderrAndQuestionsByFlag) {
    std::ostringstream err;
    ConsoleUi yes(err, ConsoleUi::Answers::Yes);
    yes.alert("Fin de Indexamientos", "");
    EXPECT_TRUE(yes.ask("Atención:\nProceder", "Mantención De Datos"));
    ConsoleUi no(err, ConsoleUi::Answers::No);
    EXPECT_FALSE(no.ask("¿ Seguir ?", "X"));
    ConsoleUi refuse(err);
    EXPECT_THROW(refuse.ask("¿ Seguir ?", "X"), RefusedQuestion);
    Dialog d(DialogTemplate("D_USER", "Usuarios"));
    EXPECT_THROW(refuse.run(d), NoDialogs);
    EXPECT_EQ(err.str(),
              "Fin de Indexamientos\n"
              "Mantención De Datos: Atención: Proceder -> Sí\n"
              "X: ¿ Seguir ? -> No\n"
              "X: ¿ Seguir ?\n");
}
