#include "ui/shared/prompts.hpp"

#include <algorithm>

#include "app/session.hpp"
#include "common/picture.hpp"
#include "common/routines/text.hpp"
#include "data/workspace.hpp"
#include "gui/ui.hpp"

namespace ui::shared {

namespace cr = common::routines;

// ---- Spreadsheet file name -------------------------------------------------------------------

bool valid_sheet_name(std::string_view name) {
    if (name.empty() || name.size() > 8) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

gui::DialogTemplate hojexc_template() {
    gui::DialogTemplate t("D_HOJEXC", "Nombre de la Hoja de Cálculo");
    // No width limit on the edit: a name that is too long is refused, not cut behind the
    // user's back.
    t.edit(176, "Nombre del Archivo", "@!");
    t.button(175, "&Aceptar", "aceptar", "Acepta el nombre");
    t.button(240, "&Salir", "salir", "Salir de esta opción").beside();
    return t;
}

bool PIDEXCEL(app::Session& s, gui::Ui& ui, std::string_view default_name) {
    gui::Dialog d(hojexc_template());
    bool accepted = false;
    std::string name;
    d.on_init([&] { d.set_text(176, std::string(default_name)); });
    d.on_button(175, [&] {
        std::string typed = common::upper_utf8(cr::trim(d.text(176)));
        if (!valid_sheet_name(typed)) {
            ui.alert(kBadSheetNameText, kBadSheetNameTitle);
            d.focus(176);
            return;
        }
        name = typed;
        accepted = true;
        d.close(1);
    });
    d.on_button(240, [&] { d.close(0); });
    d.skip_validation(240);
    ui.run(d);
    s.XSALIR = !accepted;
    if (accepted) s.CHOJEXC = name;
    return accepted;
}

std::string spreadsheet_path(const app::Session& s) { return data::checked_join(s.RutaW, s.CHOJEXC + ".XLS"); }

// ---- Process year --------------------------------------------------------------------------

gui::DialogTemplate pide_ano_template() {
    gui::DialogTemplate t("D_PIDE_ANO", "Solicita Año de Proceso");
    t.number(177, "Año", "9999");
    t.button(175, "&Aceptar", "aceptar", "Acepta el año");
    t.button(240, "&Salir", "salir", "Salir de esta opción").beside();
    return t;
}

bool PIDANO(app::Session& s, gui::Ui& ui, const gui::Clock& clock) {
    gui::Dialog d(pide_ano_template());
    bool accepted = false;
    auto in_range = [&] {
        double y = d.number(177);
        return y >= kFirstProcessYear && y <= kLastProcessYear;
    };
    d.on_init([&] { d.set_number(177, common::year_of(clock.today())); });
    d.on_valid(177, [&] {
        if (d.escaping() || in_range()) return true;
        ui.alert("El Año de Proceso debe estar entre " + std::to_string(kFirstProcessYear) + " y " +
                     std::to_string(kLastProcessYear),
                 "Revisar");
        return false;
    });
    d.on_button(175, [&] {
        // The year may not have been left yet (Enter on the field); check it here too.
        if (!in_range()) return;
        accepted = true;
        d.close(1);
    });
    d.on_button(240, [&] { d.close(0); });
    d.skip_validation(240);
    ui.run(d);
    s.XSALIR = !accepted;
    if (accepted) s.CANO = static_cast<int>(d.number(177));
    return accepted;
}

// ---- Report font size ----------------------------------------------------------------------

namespace {
constexpr int kSizes[] = {8, 9, 10, 11, 12};
}

gui::DialogTemplate pide_punto_template() {
    gui::DialogTemplate t("D_PIDEPUNTO", "Tamaño de Letra del Reporte");
    t.radio(177, "Puntos", {"8", "9", "10", "11", "12"}, {179, 180, 178, 181, 182});
    t.button(175, "&Aceptar", "aceptar", "Acepta el tamaño");
    t.button(176, "&Cancelar", "salir", "Salir de esta opción").beside();
    return t;
}

int PIDEPUNTOS(app::Session& s, gui::Ui& ui, int size) {
    gui::Dialog d(pide_punto_template());
    bool accepted = false;
    d.on_init([&] {
        auto it = std::find(std::begin(kSizes), std::end(kSizes), size);
        d.set_selected(177, it == std::end(kSizes) ? 1 : static_cast<int>(it - std::begin(kSizes)) + 1);
    });
    d.on_button(175, [&] {
        accepted = true;
        d.close(1);
    });
    d.on_button(176, [&] { d.close(0); });
    d.skip_validation(176);
    ui.run(d);
    s.XSALIR = !accepted;
    if (accepted) {
        int pos = d.selected(177);
        s.CPUNTOS = pos >= 1 && pos <= 5 ? kSizes[pos - 1] : kSizes[0];
    }
    return s.CPUNTOS;
}

// ---- Listing filters -----------------------------------------------------------------------

void PIDERANGOPER(app::Session& s) {
    s.CMONEDA = 1;
    s.CSWEXC = false;
    s.CHOJEXC = "FILE_EXC";
    s.XSALIR = false;
    s.CCLAPLA = 1;
    s.CSWCTO = false;
    s.CCTOCTO = 1;
    s.XCTOCTO = std::string(10, ' ');
    s.CSWPER = false;
    s.CPERINI = std::string(5, ' ');
    s.CNOMINI = std::string(20, ' ');
    s.XPERINI = "0000";
    s.CSWFILT1 = false;
    s.CSWFILT2 = false;
    s.CFILTRO1.clear();
    s.CFILTRO2.clear();
    s.CFILTRO3 = " ";
    s.CPUNTOS = s.NNUMFONT;
    s.CORDEN = 2;
}

}  // namespace ui::shared
