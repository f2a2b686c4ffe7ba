// The login dialog and the user screen on the scripted backend, over a company directory
// holding only USUARIOS: the seeded login, refused logins, new and changed users with their
// permission strings, refused codes, blank codes, delete, search, a record locked by
// another workstation and the list of users.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/users.hpp"
#include "data/catalogue.hpp"
#include "data/workspace.hpp"
#include "gui/browse.hpp"
#include "gui/headless.hpp"
#include "gui/print/page.hpp"
#include "gui/print/text_grid.hpp"
#include "ui/login.hpp"
#include "ui/users.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;
using gui::EventKind;

namespace {

struct Fixture {
    fs::path dir;
    app::Session s;
    data::Workspace ws;
    gui::ScriptedUi ui;
    gui::FixedClock clock{common::date_from_ymd(2011, 5, 20)};

    Fixture() {
        char tmpl[] = "/tmp/planilla-userscr-XXXXXX";
        dir = mkdtemp(tmpl);
        const data::TableDef& def = data::table("USUARIOS");
        xbase::Table::create((dir / "USUARIOS.dbf").string(), def.fields, def.tags)->close();
        s.RutaS = dir.string();
        s.XEMPRESA = "EMPRESA DE PRUEBA S.A.";
        xbase::Table& t = ws.open("user", s.RutaS, "USUARIOS", data::OpenMode::Shared);
        app::seed_users(t);
        s.TOPUSER = "KARU ";
    }
    ~Fixture() {
        ws.close_all();
        fs::remove_all(dir);
    }

    xbase::Table& users() { return ws.area("user"); }

    void add(std::string_view code, std::string permissions) {
        xbase::Table& t = users();
        ASSERT_TRUE(app::append_with_retry(t));
        t.put_text(t.field_index("CODIGO"), code);
        t.put_text(t.field_index("NOMBRE"), "NOMBRE DE " + std::string(code));
        app::write_stored_password(t, app::scramble_password("PW"));
        t.put_text(t.field_index("PERMIS1"), permissions);
        t.commit();
        t.unlock_record();
    }

    // The record of a user as a fresh handle reads it from disk.
    std::optional<app::UserRecord> on_disk(std::string_view code) {
        auto t = xbase::Table::open((dir / "USUARIOS.dbf").string());
        return app::find_user(*t, code);
    }

    // Row of a code in the browse (tag 1 order, deleted hidden).
    size_t row_of(std::string_view code) {
        xbase::Table& t = users();
        t.set_order(0);
        size_t row = 0;
        for (t.go_top(); !t.eof(); t.skip(), ++row)
            if (app::trim_blanks(t.get_text(t.field_index("CODIGO"))) == code) return row;
        ADD_FAILURE() << code << " not in the table";
        return 0;
    }
};

std::string alternating(size_t n) {
    std::string p;
    for (size_t i = 0; i < n; ++i) p += (i % 3 == 0) ? 'S' : 'N';
    return p;
}

}  // namespace

TEST(Login, PrefilledSeededUserIsAccepted) {
    Fixture f;
    f.s.CEMPRESA = 3;
    f.s.TOPUSER = "     ";
    f.ui.dialog("D_LOGIN")
        .call([](gui::Dialog& d) {
            EXPECT_EQ(d.title(), "Sistema de Planilla Planilla");
            EXPECT_EQ(d.text(101), "KARU ");
            EXPECT_EQ(d.text(102), "KARU ");
            EXPECT_EQ(d.control(102).edit, gui::EditKind::Password);
        })
        .press(175);
    ui::PIDEUSER(f.s, f.ws, f.ui, 1, "Planilla");
    f.ui.expect_done();
    EXPECT_TRUE(f.s.LPASE);
    EXPECT_EQ(f.s.CPERMIS1, std::string(254, 'S'));
    EXPECT_EQ(f.s.TOPUSER, "KARU ");
    EXPECT_EQ(f.s.CEMPRESA, 1);
    EXPECT_EQ(f.s.TAMFON, 1);  // stored 0
    EXPECT_TRUE(f.ui.events(EventKind::Alert).empty());
}

TEST(Login, RefusalsBeepAndAlertCancelNeverAccepts) {
    struct Case {
        const char* what;
        const char* code;
        const char* password;
        int button;
        const char* alert;  // after a beep; nullptr for none
        const char* title;
        bool permissions_loaded;
    };
    const std::vector<Case> cases = {
        {"unknown user", "nadie", "KARU", 175, "Usuario no inscrito", "Revisar", false},
        {"prefix of a code", "KAR", "KARU", 175, "Usuario no inscrito", "Revisar", false},
        {"wrong password", "KARU", "KARX", 175, "Clave mal dada", "", false},
        {"cancel with the right password", "KARU", "KARU", 176, nullptr, nullptr, true},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.s.CPERMIS1 = std::string(254, 'N');
        f.s.TOPUSER = "OTRO ";
        f.ui.dialog("D_LOGIN").set(101, c.code).set(102, c.password).press(c.button);
        ui::PIDEUSER(f.s, f.ws, f.ui, 1, "Planilla");
        EXPECT_FALSE(f.s.LPASE) << c.what;
        const auto& ev = f.ui.events();
        if (!c.alert) {
            EXPECT_TRUE(f.ui.events(EventKind::Alert).empty()) << c.what << "\n" << f.ui.transcript();
        } else {
            ASSERT_GE(ev.size(), 2u);
            EXPECT_EQ(ev[ev.size() - 2].kind, EventKind::Beep) << c.what;
            EXPECT_EQ(ev.back().kind, EventKind::Alert) << c.what;
            EXPECT_EQ(ev.back().text, c.alert) << c.what;
            EXPECT_EQ(ev.back().title, c.title) << c.what;
        }
        EXPECT_EQ(f.s.CPERMIS1 == std::string(254, 'S'), c.permissions_loaded) << c.what;
        EXPECT_EQ(f.s.TOPUSER == "KARU ", c.permissions_loaded) << c.what;
    }
}

TEST(UserScreen, NewUserFromTheCheckBoxesAndTheFullPermissionCode) {
    struct Case {
        const char* code;
        std::vector<int> boxes;  // ids checked
        std::string want;        // PERMIS1
    };
    std::string ana(254, 'N');
    ana[0] = 'S';   // 183 Empresas
    ana[25] = 'S';  // 127 Boletas
    ana[67] = 'S';  // 172 Uti-Usuarios
    ana[71] = 'S';  // 180, no label
    const std::vector<Case> cases = {
        {"ana", {183, 127, 172, 180}, ana},
        {"TOLMI", {}, std::string(254, 'S')},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.ui.dialog("Archivos").press(170).press(240);
        auto& d = f.ui.dialog("D_USER");
        d.call([](gui::Dialog& dlg) {
            EXPECT_EQ(dlg.title(), "Accesos a Opciones de la Planilla");
            EXPECT_FALSE(dlg.enabled(105));  // nothing but the code until there is one
            EXPECT_FALSE(dlg.enabled(106));
            EXPECT_EQ(dlg.control(183).text, "Empresas");
            EXPECT_EQ(dlg.control(158).text, "");
            for (const auto& b : ui::permission_boxes()) EXPECT_FALSE(dlg.checked(b.id));
        });
        d.set(104, c.code).set(105, "clave").set(106, "ana maría");
        for (int id : c.boxes) d.check(id);
        d.press(175);
        ui::U_USER(f.s, f.ws, f.ui, f.clock);
        f.ui.expect_done();

        std::optional<app::UserRecord> u = f.on_disk(c.code);
        ASSERT_TRUE(u) << c.code;
        EXPECT_EQ(u->permissions, c.want) << c.code;
        EXPECT_EQ(u->password, "CLAVE");
        EXPECT_EQ(u->name, "ANA MARÍA");
    }
}

TEST(UserScreen, EditKeepsPositionsBeyondTheBoxesAndReloadsOwnPermissions) {
    Fixture f;
    const std::string stored = alternating(254);
    f.add("BETO", stored);
    // The logged-in user edits himself: clears position 1 and sets position 2.
    f.ui.dialog("Archivos").browse_row(181, f.row_of("BETO")).press(180).press(240);
    f.ui.dialog("D_USER")
        .call([&](gui::Dialog& d) {
            EXPECT_FALSE(d.enabled(104));  // an existing code stays
            EXPECT_EQ(d.text(105), "PW");
            EXPECT_TRUE(d.checked(183));  // position 1 "S"
            EXPECT_FALSE(d.checked(107));
        })
        .check(183, false)
        .check(107)
        .set(106, "otro nombre")
        .press(175);
    f.s.TOPUSER = "BETO ";
    ui::U_USER(f.s, f.ws, f.ui, f.clock);
    f.ui.expect_done();

    std::string want = stored;
    want[0] = 'N';
    want[1] = 'S';
    std::optional<app::UserRecord> u = f.on_disk("BETO");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->permissions, want);
    EXPECT_EQ(u->permissions.substr(72), stored.substr(72));
    EXPECT_EQ(u->name, "OTRO NOMBRE");
    EXPECT_EQ(u->password, "PW");
    EXPECT_EQ(f.s.CPERMIS1, want);
}

TEST(UserScreen, NewCodeMustNotExistAsAWholeCode) {
    Fixture f;
    f.add("ABC", std::string(254, 'N'));
    f.ui.dialog("Archivos").press(170).press(170).press(240);
    // "ABC" exists: leaving the code is refused, Escape lets the user out.
    f.ui.dialog("D_USER").set(104, "abc").expect_refused().set(106, "X").escape();
    // "AB" is only a prefix of it and is a new code.
    f.ui.dialog("D_USER").set(104, "AB").set(106, "NUEVO").press(175);
    ui::U_USER(f.s, f.ws, f.ui, f.clock);
    f.ui.expect_done();
    EXPECT_TRUE(f.on_disk("AB"));
    EXPECT_EQ(f.users().reccount(), 3u);
}

TEST(UserScreen, BlankCodeWritesNothing) {
    Fixture f;
    f.add("ZOE", std::string(254, 'N'));
    f.ui.dialog("Archivos")
        .browse_row(181, f.row_of("ZOE"))
        .press(170)
        .call([&](gui::Dialog& d) {
            // Back on the record it was on.
            EXPECT_EQ(d.browse(181).selected(), std::optional<size_t>(1));
        })
        .press(240);
    f.ui.dialog("D_USER").check(183).press(175);
    ui::U_USER(f.s, f.ws, f.ui, f.clock);
    f.ui.expect_done();
    EXPECT_EQ(f.users().reccount(), 2u);
    EXPECT_NE(f.ui.transcript().find("Alert[] Debe ingresar una Código para que el registro se valide"),
              std::string::npos)
        << f.ui.transcript();
}

TEST(UserScreen, DeleteAsksAndDeletingOneselfKeepsThePermissions) {
    Fixture f;
    f.add("BETO", std::string(254, 'N'));
    const std::string mine = alternating(254);
    f.s.CPERMIS1 = mine;
    f.ui.dialog("Archivos")
        .browse_row(181, f.row_of("BETO"))
        .press(260)  // answered No
        .browse_row(181, f.row_of("KARU"))
        .press(260)  // answered Yes: the logged-in user goes
        .press(240);
    f.ui.answer(false);
    f.ui.answer(true);
    ui::U_USER(f.s, f.ws, f.ui, f.clock);
    f.ui.expect_done();

    auto questions = f.ui.events(EventKind::Question);
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].text,
              "Atención:\n¿ Está  seguro de querer borrar este Código ?\n\nBETO  NOMBRE DE BETO");
    EXPECT_TRUE(f.on_disk("BETO"));
    EXPECT_FALSE(f.on_disk("KARU"));
    auto alerts = f.ui.events(EventKind::Alert);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].text, "Usuario no Ubicado : KARU ");
    EXPECT_EQ(alerts[0].title, "");
    EXPECT_EQ(f.s.CPERMIS1, mine);
}

TEST(UserScreen, RecordLockedElsewhereIsNotWritten) {
    Fixture f;
    f.add("BETO", std::string(254, 'N'));
    auto other = xbase::Table::open((f.dir / "USUARIOS.dbf").string());
    other->set_order(0);
    ASSERT_TRUE(other->seek("BETO "));
    ASSERT_TRUE(other->lock_record());

    f.ui.dialog("Archivos").browse_row(181, f.row_of("BETO")).press(180).press(260).press(240);
    f.ui.dialog("D_USER").check(183).set(106, "CAMBIADO").press(175);
    f.ui.answer(true);
    ui::U_USER(f.s, f.ws, f.ui, f.clock);
    f.ui.expect_done();

    auto alerts = f.ui.events(EventKind::Alert);
    ASSERT_EQ(alerts.size(), 2u);  // the modify and the delete
    for (const auto& a : alerts) {
        EXPECT_EQ(a.text, "Registro en uso por otro usuario, no se grabó");
        EXPECT_EQ(a.title, "Revisar");
    }
    other->unlock_record();
    std::optional<app::UserRecord> u = f.on_disk("BETO");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->name, "NOMBRE DE BETO");
    EXPECT_EQ(u->permissions, std::string(254, 'N'));
}

TEST(UserScreen, SearchIsNearestMatchForThatSeekOnly) {
    Fixture f;
    for (const char* c : {"ANA", "BETO", "CESAR"}) f.add(c, std::string(254, 'N'));
    f.ui.dialog("Archivos")
        .press(200)
        .call([&](gui::Dialog& d) {
            // "BZ" is between BETO and CESAR: the highlight goes to CESAR.
            ASSERT_TRUE(d.browse(181).selected());
            EXPECT_EQ(*d.browse(181).selected(), 2u);
            EXPECT_EQ(f.users().get_text(0), "CESAR");
        })
        .press(240);
    f.ui.reply("bz");
    ui::U_USER(f.s, f.ws, f.ui, f.clock);
    f.ui.expect_done();
    auto prompts = f.ui.events(EventKind::Prompt);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].title, "Buscar por");
    EXPECT_FALSE(data::settings().soft_seek);
    // A later seek of a missing key still ends at end of file.
    f.users().set_order(0);
    EXPECT_FALSE(f.users().seek("BZ"));
    EXPECT_TRUE(f.users().eof());
}

TEST(UserScreen, ListOfUsersWithTheLogoWhenThereIsOne) {
    for (bool logo : {false, true}) {
        Fixture f;
        f.add("BETO", std::string(254, 'N'));
        if (logo) std::ofstream(f.dir / "logo.bmp") << "BM";
        f.ui.dialog("Archivos").browse_row(181, 1).press(210).call([&](gui::Dialog& d) {
            EXPECT_EQ(d.browse(181).selected(), std::optional<size_t>(1));  // back where it was
        }).press(240);
        ui::U_USER(f.s, f.ws, f.ui, f.clock);
        f.ui.expect_done();
        ASSERT_EQ(f.ui.previews().size(), 1u);
        const gui::print::Job& job = *f.ui.previews()[0];
        EXPECT_EQ(job.caption(), "Reporte de Usuarios");
        gui::print::TextGrid g = gui::print::render_text(job);
        EXPECT_TRUE(g.diagnostics.empty());
        std::string page = g.page_text(0);
        for (const char* want : {"EMPRESA DE PRUEBA S.A.  20/05/2011", "U S U A R I O S", "Código Nombre",
                                 "BETO   NOMBRE DE BETO", "KARU   USUARIO ADMINISTRADOR", "Pagina :   1"})
            EXPECT_NE(page.find(want), std::string::npos) << want << "\n" << page;
        size_t images = 0;
        for (const auto& item : job.pages()[0].items()) images += item.kind == gui::print::ItemKind::Image;
        EXPECT_EQ(images, logo ? 1u : 0u);
    }
}
