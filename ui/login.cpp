#include "ui/login.hpp"

#include "app/users.hpp"
#include "data/workspace.hpp"
#include "gui/ui.hpp"

namespace ui {

using namespace login_ids;

gui::DialogTemplate login_template(const std::string& title) {
    gui::DialogTemplate t("D_LOGIN", "Sistema de Planilla " + title);
    t.default_to(kAccept);  // Enter accepts the pre-filled entries
    t.label(1, "SISTEMA DE PLANILLA");
    t.label(2, "TALVORE");
    t.edit(kCode, "USUARIO", "@!", app::kCodeWidth);
    t.password(kPassword, "CLAVE", app::kCodeWidth);
    t.controls.back().picture = "@!";
    t.button(kAccept, "&Aceptar", "ok", "Ingresar al sistema");
    t.button(kCancel, "&Cancelar", "salir", "Salir").beside();
    return t;
}

void PIDEUSER(app::Session& s, data::Workspace& ws, gui::Ui& ui, int /*mode*/, std::string title) {
    const std::string prefill = std::string(app::kSeededUser) + " ";
    s.CEMPRESA = 1;

    gui::Dialog d(login_template(title));
    d.set_text(kCode, prefill);
    d.set_text(kPassword, prefill);
    // Escape counts as Cancel: only OK accepts.
    bool accepted = false;
    d.on_button(kAccept, [&] {
        accepted = true;
        d.close(1);
    });
    d.on_button(kCancel, [&] {
        accepted = false;
        d.close(0);
    });
    d.skip_validation(kCancel);
    ui.run(d);
    s.LPASE = accepted;

    app::UsersArea area(s, ws);
    app::UserRecord u;
    app::LoginCheck r = app::check_login(area.table(), d.text(kCode), d.text(kPassword), &u);
    if (r != app::LoginCheck::Accepted) {
        ui.beep();
        app::LoginMessage m = app::login_message(r);
        ui.alert(m.text, m.title);
        s.LPASE = false;
        return;
    }
    app::load_user(s, u);
}

}  // namespace ui
