#include "ui/users.hpp"

#include <memory>

#include "common/text.hpp"
#include "app/startup.hpp"
#include "app/users.hpp"
#include "common/dates.hpp"
#include "common/picture.hpp"
#include "data/workspace.hpp"
#include "gui/browse.hpp"
#include "gui/master_frame.hpp"
#include "gui/print/report.hpp"
#include "gui/ui.hpp"
#include "xbase/table.hpp"

namespace ui {

using namespace user_ids;

namespace {

int field(const xbase::Table& t, std::string_view name) {
    int i = t.field_index(name);
    if (i < 0) t.field(name);  // throws, naming the field and the table
    return i;
}

using common::rtrim;
bool blank(std::string_view s) { return common::is_blank(s); }

// The permission string of a saved user: positions 1-72 from the check boxes, the rest as
// they were; every position "S" for the full-permission code.
std::string build_permissions(const gui::Dialog& d, std::string base, std::string_view code) {
    base.resize(static_cast<size_t>(app::kPermissionLength), 'N');
    for (const PermissionBox& b : permission_boxes())
        base[static_cast<size_t>(b.position - 1)] = d.checked(b.id) ? 'S' : 'N';
    if (app::trim_blanks(code) == app::kFullPermissionUser)
        base.assign(static_cast<size_t>(app::kPermissionLength), 'S');
    return base;
}

void record_busy(gui::Ui& ui) { ui.alert(kRecordBusyText, kRecordBusyTitle); }

void DELUSER(data::Workspace& ws, gui::Ui& ui) {
    xbase::Table& t = ws.area(app::kUserAlias);
    if (t.eof()) return;
    app::UserRecord u = app::read_user(t);
    if (!ui.ask(delete_question(u.code, u.name), "Borrar")) return;
    if (!app::lock_with_retry(t)) {
        record_busy(ui);
        return;
    }
    t.delete_record();
    t.unlock_record();
}

void SEEKUSER(data::Workspace& ws, gui::Ui& ui) {
    gui::PromptSpec request;
    request.title = "Buscar por";
    request.label = "Codigo";
    request.picture = "@!";
    request.width = app::kCodeWidth;
    request.image = "lupa";
    std::optional<std::string> typed = ui.prompt(request);
    if (!typed) return;
    // Nearest match for this seek only; the process-wide setting stays exact.
    ws.set_order(app::kUserAlias, 1);
    ws.seek(app::kUserAlias, rtrim(common::upper_utf8(*typed)), true);
}

}  // namespace

const std::array<PermissionBox, 72>& permission_boxes() {
    static const std::array<PermissionBox, 72> boxes = {{
        {1, 183, "Empresas"},
        {2, 107, "Bancos"},
        {3, 108, "Personal"},
        {4, 109, "Plan de Cuentas"},
        {5, 110, "Centros de Costo"},
        {6, 111, "A F P"},
        {7, 112, "Conceptos"},
        {8, 113, "Conceptos PDT"},
        {9, 114, "Cargos"},
        {10, 115, ""},
        {11, 158, ""},
        {12, 159, ""},
        {13, 116, "Inic.Periodo"},
        {14, 117, "Reg.Mov.Fijos"},
        {15, 118, "Reg.Mov.Variab"},
        {16, 119, "Reg.Mov.x trabaj"},
        {17, 120, "Jornadas x Trab"},
        {18, 121, "Subsidios"},
        {19, 122, "Dias No Subs"},
        {20, 123, "Adelantos Quincena"},
        {21, 124, "Vacaciones"},
        {22, 125, "Gratificaciones"},
        {23, 160, ""},
        {24, 161, ""},
        {25, 126, "Calculo Planilla"},
        {26, 127, "Boletas"},
        {27, 129, "Planilla Oficial"},
        {28, 130, "Previas"},
        {29, 131, "Previas 2"},
        {30, 132, "Planilla AFP"},
        {31, 133, "Previsionales"},
        {32, 134, ""},
        {33, 135, ""},
        {34, 136, "Revisa Planilla PDT"},
        {35, 162, ""},
        {36, 163, ""},
        {37, 137, "Parametros 5ta "},
        {38, 138, "Registro 5ta"},
        {39, 139, "Certificados"},
        {40, 140, ""},
        {41, 141, "Inicializa 4ta cat"},
        {42, 142, "Personal 4ta"},
        {43, 143, "Registra Recibos"},
        {44, 144, "Revisa Recibos"},
        {45, 145, "Transf al hist"},
        {46, 146, "Revisión Hist"},
        {47, 157, "Certific Hist"},
        {48, 164, ""},
        {49, 147, "Generar TXT PDT"},
        {50, 148, ""},
        {51, 149, ""},
        {52, 150, ""},
        {53, 151, ""},
        {54, 152, "CTS-Periodos"},
        {55, 153, "CTS-Parámetros"},
        {56, 154, "CTS-Genera"},
        {57, 155, "CTS-Cartas"},
        {58, 156, "CTS-Asientos"},
        {59, 177, ""},
        {60, 178, ""},
        {61, 165, "Parámetros"},
        {62, 166, "Configura Reportes"},
        {63, 167, "Contabilización"},
        {64, 168, ""},
        {65, 169, "Uti-Cambio Per/Emp"},
        {66, 170, "Uti-Mantenim"},
        {67, 171, "Uti-Seguiridad"},
        {68, 172, "Uti-Usuarios"},
        {69, 173, "Uti-Crear Empresa"},
        {70, 174, "Uti-Desen-Clave"},
        {71, 179, ""},
        {72, 180, ""},
    }};
    return boxes;
}

gui::DialogTemplate user_template() {
    gui::DialogTemplate t("D_USER", "Accesos a Opciones de la Planilla");
    t.edit(kCode, "Código", "@!", app::kCodeWidth);
    t.password(kPassword, "Clave", app::kCodeWidth);
    t.controls.back().picture = "@!";
    t.edit(kName, "Nombre", "@!", app::kNameWidth);
    // Four check boxes a row, in position order.
    int column = 0;
    for (const PermissionBox& b : permission_boxes()) {
        t.check(b.id, std::string(b.label));
        if (column++ % 4 != 0) t.beside();
    }
    t.button(kSave, "&Grabar", "grabar", "Graba el registro");
    t.button(kCancel, "&Salir", "salir", "Salir sin grabar").beside();
    return t;
}

bool EDITUSER(app::Session& /*s*/, data::Workspace& ws, gui::Ui& ui, bool is_new) {
    xbase::Table& t = ws.area(app::kUserAlias);
    const uint32_t start = t.recno();

    app::UserRecord u;
    if (is_new || t.eof()) {
        u.code.assign(static_cast<size_t>(app::kCodeWidth), ' ');
        u.permissions.assign(static_cast<size_t>(app::kPermissionLength), 'N');
    } else {
        u = app::read_user(t);
    }

    gui::Dialog d(user_template());
    d.set_text(kCode, u.code);
    d.set_text(kPassword, u.password);
    d.set_text(kName, u.name);
    for (const PermissionBox& b : permission_boxes())
        d.set_checked(b.id, u.permissions[static_cast<size_t>(b.position - 1)] == 'S');

    d.when(kCode, [is_new] { return is_new; });
    d.when(kPassword, [&] { return !blank(d.text(kCode)); });
    d.when(kName, [&] { return !blank(d.text(kCode)); });
    // A new code must not exist yet (the full padded code); Escape always lets the user out.
    d.on_valid(kCode, [&] {
        if (d.escaping() || blank(d.text(kCode))) return true;
        return !app::user_exists(t, d.text(kCode));
    });
    d.on_button(kSave, [&] { d.close(1); });
    d.on_button(kCancel, [&] { d.close(0); });
    d.skip_validation(kCancel);

    if (ui.run(d) != 1) return false;

    const std::string code = app::user_code(d.text(kCode));
    if (blank(code)) {
        ui.alert(kBlankCodeText, "");
        t.go_to(start);
        return false;
    }
    const std::string permissions = build_permissions(d, u.permissions, code);

    if (is_new) {
        if (!app::append_with_retry(t)) {
            record_busy(ui);
            t.go_to(start);
            return false;
        }
    } else {
        t.go_to(start);
    }
    if (!app::lock_with_retry(t)) {
        record_busy(ui);
        return false;
    }
    t.put_text(field(t, "CODIGO"), code);
    t.put_text(field(t, "NOMBRE"), d.text(kName));
    app::write_stored_password(t, app::scramble_password(d.text(kPassword)));
    t.put_text(field(t, "PERMIS1"), permissions);
    if (is_new) t.commit();
    t.unlock_record();
    t.go_top();
    return true;
}

std::string delete_question(std::string_view code, std::string_view name) {
    return "Atención:\n¿ Está  seguro de querer borrar este Código ?\n\n" + std::string(code) + " " +
           std::string(name);
}

gui::print::Job LISTUSER(app::Session& s, data::Workspace& ws, const gui::Clock& clock) {
    using gui::print::Cell;
    xbase::Table& t = ws.area(app::kUserAlias);
    data::Workspace::Keep keep(ws, app::kUserAlias);
    t.set_order(0);
    const int code = field(t, "CODIGO");
    const int name = field(t, "NOMBRE");

    gui::print::Report r("Reporte de Usuarios");
    r.set_fonts(gui::print::DEFFONTS(s.NNUMFONT));
    r.add_header(s.XEMPRESA + "  " + common::dtoc(clock.today()));
    r.add_title(" U S U A R I O S ");
    r.add_column("Código", [&] { return Cell(rtrim(t.get_text(code))); }, app::kCodeWidth);
    r.add_column("Nombre", [&] { return Cell(rtrim(t.get_text(name))); }, app::kNameWidth);
    r.set_grand_total(false);
    const std::string logo = app::find_file(s.RutaS, "LOGO.BMP");
    if (!logo.empty())
        r.on_page_start([logo](gui::print::Job& job, const gui::print::PageStart& p) {
            job.image(p.line, 0, 3, 10, logo);
        });
    return r.run(gui::print::rows_of(t));
}

void U_USER(app::Session& s, data::Workspace& ws, gui::Ui& ui, const gui::Clock& clock) {
    app::UsersArea area(s, ws);
    xbase::Table& t = area.table();
    ws.set_order(app::kUserAlias, 1);
    ws.go_top(app::kUserAlias);

    std::vector<gui::BrowseColumn> columns = {
        gui::field_column(t, "CODIGO", "Codigo"),
        gui::field_column(t, "CLAVE", "Clave"),  // the scrambled value, as stored
        gui::field_column(t, "NOMBRE", "Nombre"),
    };
    gui::MasterScreen m;
    m.title = "USUARIOS DE LA PLANILLA";
    m.browse = std::make_shared<gui::Browse>(std::make_shared<gui::TableSource>(t), std::move(columns));
    m.on_new = [&] { EDITUSER(s, ws, ui, true); };
    m.on_modify = [&] { EDITUSER(s, ws, ui, false); };
    m.on_delete = [&] { DELUSER(ws, ui); };
    m.on_search = [&] { SEEKUSER(ws, ui); };
    m.on_print = [&] { ui.preview(LISTUSER(s, ws, clock)); };
    gui::run_master(ui, m);

    // A user who changed his own permissions sees the change at once.
    if (std::optional<app::UserRecord> me = app::find_user(t, s.TOPUSER))
        s.CPERMIS1 = me->permissions;
    else
        ui.alert("Usuario no Ubicado : " + s.TOPUSER, "");
}

}  // namespace ui
