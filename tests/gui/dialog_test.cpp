// The dialog model and the scripted backend: values by id, pictures, validation keeping
// the focus, enabling rules, tab pages, radio options, Escape, and the script's failures.
#include <gtest/gtest.h>

#include "common/dates.hpp"
#include "gui/dialog.hpp"
#include "gui/headless.hpp"

using namespace gui;

namespace {

DialogTemplate demo_template() {
    DialogTemplate page1("P1", "Datos");
    page1.edit(104, "Código", "@!", 5).edit(105, "Nombre", "@!", 30).number(106, "Sueldo", "999,999.99");
    DialogTemplate page2("P2", "Otros");
    page2.date(107, "Ingreso").number(108, "Año", "9999").password(109, "Clave", 10);
    DialogTemplate t("D_DEMO", "Demostración");
    t.tabs(150, {"Datos", "Otros"}, {page1, page2})
        .combo(110, "Banco", {"    Sin Datos", "001 Banco Uno", "002 Banco Dos"})
        .check(111, "Activo")
        .radio(112, "Tamaño", {"8", "9", "10"}, {179, 180, 178})
        .label(113, "Mensaje")
        .button(175, "&Grabar", "grabar", "Graba el registro")
        .button(240, "&Salir", "salir", "Salir").beside();
    return t;
}

}  // namespace

TEST(Dialog, ValuesPicturesAndRulesThroughAScript) {
    ScriptedUi ui;
    Dialog d(demo_template());
    d.when(105, [&] { return d.text(104) != ""; });  // the name opens once there is a code
    int saves = 0;
    d.on_button(175, [&] {
        ++saves;
        d.close(1);
    });
    ui.dialog("D_DEMO")
        .call([](Dialog& d) {
            EXPECT_EQ(d.focused(), 104);
            EXPECT_FALSE(d.enabled(105));
        })
        .set(104, "ab12x9")  // upper-cased and cut to the field's five characters
        .set(105, "josé peña")
        .set(106, "12,345.675")
        .select(150, 2)
        .set(107, "05/03/2011")
        .set(108, "2011")
        .set(109, "secreto")
        .select(110, 3)
        .check(111)
        .select_option(178)
        .call([](Dialog& d) {
            EXPECT_EQ(d.text(104), "AB12X");
            EXPECT_EQ(d.text(105), "JOSÉ PEÑA");
            EXPECT_DOUBLE_EQ(d.number(106), 12345.675);
            EXPECT_EQ(d.display_text(106), " 12,345.68");
            EXPECT_EQ(d.date(107), common::date_from_ymd(2011, 3, 5));
            EXPECT_EQ(d.display_text(107), "05/03/2011");
            EXPECT_EQ(d.number(108), 2011);
            EXPECT_EQ(d.text(109), "secreto");
            EXPECT_EQ(d.selected_item(110), "002 Banco Dos");
            EXPECT_TRUE(d.checked(111));
            EXPECT_EQ(d.selected(112), 3);
            EXPECT_EQ(d.selected(150), 2);
            EXPECT_TRUE(d.enabled(105));
        })
        .press(175);
    EXPECT_EQ(ui.run(d), 1);
    EXPECT_EQ(saves, 1);
    ui.expect_done();
}

TEST(Dialog, FailedValidationKeepsTheFocusAndRefusesButtons) {
    ScriptedUi ui;
    Dialog d(demo_template());
    int calls = 0;
    d.on_valid(104, [&] {
        ++calls;
        if (d.text(104) == "0001") {
            ui.alert("Código ya existe", "Revisar");
            return false;
        }
        return true;
    });
    d.on_button(175, [&] { d.close(1); });
    d.on_button(240, [&] { d.close(0); });
    d.skip_validation(240);
    ui.dialog("D_DEMO")
        .set(104, "0001")
        .expect_refused()
        .set(105, "X")  // leaving 104 fails: the focus stays
        .call([](Dialog& d) { EXPECT_EQ(d.focused(), 104); })
        .expect_refused()
        .press(175)
        .set(104, "0002")
        .set(105, "ANA")
        .call([](Dialog& d) { EXPECT_EQ(d.focused(), 105); })
        .press(240);  // exit does not validate
    EXPECT_EQ(ui.run(d), 0);
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(ui.events(EventKind::Alert).size(), 2u);
    EXPECT_EQ(ui.events(EventKind::Alert)[0].text, "Código ya existe");
}

TEST(Dialog, EscapeLeavesWithoutValidatingUnlessTheScreenForbidsIt) {
    ScriptedUi ui;
    {
        Dialog d(demo_template());
        bool validated = false;
        d.on_valid(104, [&] { return validated = true, false; });
        ui.dialog("D_DEMO").set(104, "X").escape();
        EXPECT_EQ(ui.run(d), 0);
        EXPECT_FALSE(validated);
    }
    {
        Dialog d(demo_template());
        d.set_escape_closes(false);
        ui.dialog("D_DEMO").escape().call([](Dialog& d) { EXPECT_FALSE(d.closed()); }).press(240);
        d.on_button(240, [&] { d.close(7); });
        EXPECT_EQ(ui.run(d), 7);
    }
}

TEST(Dialog, RefusedInputsAndDisabledControls) {
    Dialog d(demo_template());
    d.start();
    EXPECT_FALSE(d.user_set_text(106, "12a"));   // not a number
    EXPECT_FALSE(d.user_set_text(107, "31/02/2011"));  // no such day
    EXPECT_TRUE(d.user_set_text(107, "  /  /    "));   // the empty date
    EXPECT_EQ(d.date(107), common::kEmptyDate);
    d.disable(111);
    EXPECT_FALSE(d.user_check(111, true));
    d.hide(175);
    EXPECT_FALSE(d.user_press(175));
    EXPECT_FALSE(d.user_select(110, 9));
    EXPECT_THROW(d.text(999), std::out_of_range);
    EXPECT_THROW(Dialog(DialogTemplate("X", "").edit(1, "a").edit(1, "b")), std::logic_error);
}

TEST(ScriptedUi, ReportsWhatTheScriptDidNotExpect) {
    struct Case {
        const char* what;
        std::function<void(ScriptedUi&)> script;
        std::function<void(ScriptedUi&)> program;
        const char* message;
    };
    std::vector<Case> cases = {
        {"a question with no answer", [](ScriptedUi&) {},
         [](ScriptedUi& ui) { ui.ask("Atención:\n¿ Borrar ?", "Borrar"); }, "¿ Borrar ?"},
        {"another dialog than scripted", [](ScriptedUi& ui) { ui.dialog("D_OTRO"); },
         [](ScriptedUi& ui) {
             Dialog d(demo_template());
             ui.run(d);
         },
         "D_DEMO"},
        {"a dialog left open", [](ScriptedUi& ui) { ui.dialog("D_DEMO").set(104, "A"); },
         [](ScriptedUi& ui) {
             Dialog d(demo_template());
             ui.run(d);
         },
         "left open"},
        {"an action refused", [](ScriptedUi& ui) { ui.dialog("D_DEMO").press(999); },
         [](ScriptedUi& ui) {
             Dialog d(demo_template());
             ui.run(d);
         },
         "press 999"},
        {"an answer where a dialog comes", [](ScriptedUi& ui) { ui.answer(true); },
         [](ScriptedUi& ui) {
             Dialog d(demo_template());
             ui.run(d);
         },
         "answer Sí"},
    };
    for (const auto& c : cases) {
        ScriptedUi ui;
        c.script(ui);
        try {
            c.program(ui);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const ScriptError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
        }
    }
    ScriptedUi ui;
    ui.answer(false);
    EXPECT_THROW(ui.expect_done(), ScriptError);
}

TEST(ScriptedUi, RecordsEveryEventInOrder) {
    ScriptedUi ui;
    ui.answer(false);
    ui.reply("GARC");
    ui.file("/tmp/x.dbf");
    ui.alert("Inicio de Indexamientos", "");
    EXPECT_FALSE(ui.ask("Atención:\nProceder", "Mantención De Datos"));
    ui.notice("Grabado", "Aviso", 2);
    EXPECT_EQ(ui.prompt(PromptSpec{"Buscar por", "Codigo", "", "@!", 10, "lupa"}), "GARC");
    EXPECT_EQ(ui.open_file("Abrir", "VIA.DBF", "*.DBF"), "/tmp/x.dbf");
    {
        Progress p(ui, "Indexando", "PERSONAL", 1'000'000);
        for (int i = 0; i < 1'000'000; ++i) p.step();
    }
    EXPECT_TRUE(ui.shell().open_with("EXCEL.EXE", "LISTA.XLS"));
    ui.set_shell_fails(true);
    EXPECT_FALSE(ui.shell().start("contab", {"-a", "x y"}));
    EXPECT_EQ(ui.transcript(),
              "Alert[] Inicio de Indexamientos\n"
              "Question[Mantención De Datos] Atención:\nProceder -> No\n"
              "Notice[Aviso] Grabado -> 2\n"
              "Prompt[Buscar por] Codigo -> GARC\n"
              "FilePrompt[Abrir] VIA.DBF -> /tmp/x.dbf\n"
              "ProgressBegin[Indexando] PERSONAL -> 1000000\n"
              "ProgressEnd[Indexando]  -> 1000000/1000000\n"
              "Shell[EXCEL.EXE] LISTA.XLS\n"
              "Shell[contab] -a x y\n"
              "Alert[Revisar] No se pudo ejecutar contab\n");
    ui.expect_done();
}

TEST(Progress, ThrottlesUpdates) {
    struct Counting : ScriptedUi {
        int updates = 0;
        void progress_update(int64_t d, int64_t t) override {
            ++updates;
            ScriptedUi::progress_update(d, t);
        }
    } ui;
    {
        Progress p(ui, "x", "", 1'000'000);
        for (int i = 0; i < 1'000'000; ++i) p.step();
    }
    EXPECT_LE(ui.updates, 202);
    EXPECT_GE(ui.updates, 100);
}
