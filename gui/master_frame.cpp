#include "gui/master_frame.hpp"

#include <algorithm>

#include "gui/ui.hpp"

namespace gui {

using namespace master_ids;

DialogTemplate master_template(const std::string& title) {
    DialogTemplate t("Archivos", title);
    t.browse(kBrowse, 16);
    t.button(kNew, "&Nuevo", "nuevo", "Nuevo registro");
    t.button(kModify, "&Modificar", "modificar", "Modificar el registro sombreado").beside();
    t.button(kDelete, "&Eliminar", "borrar", "Eliminar el registro sombreado").beside();
    t.button(kSearch, "&Buscar", "buscar", "Buscar").beside();
    t.button(kPrint, "&Imprimir", "imprimir", "Imprimir la lista").beside();
    t.button(kSpreadsheet, "&Excel", "excel", "Hoja de cálculo").beside();
    // Buttons some screens show for their own actions.
    t.button(171, "", {}, {}).beside();
    t.button(172, "", {}, {}).beside();
    t.button(128, "", {}, {}).beside();
    t.button(129, "", {}, {}).beside();
    t.button(175, "", {}, {}).beside();
    t.button(kExit, "&Salir", "salir", "Salir de esta opción").beside();
    return t;
}

void run_master(Ui& ui, MasterScreen& screen) {
    Dialog d(master_template(screen.title));
    d.set_browse(kBrowse, screen.browse);
    for (int id : {171, 172, 128, 129, 175}) d.hide(id);
    d.skip_validation(kExit);
    Browse& b = *screen.browse;

    auto after_edit = [&] {
        d.refresh(kBrowse);
        d.focus(kBrowse);
    };
    auto do_new = [&] {
        if (!screen.on_new) return;
        screen.on_new();
        after_edit();
    };
    auto do_modify = [&] {
        if (!screen.on_modify || !b.selected()) return;
        screen.on_modify();
        after_edit();
    };
    auto do_delete = [&] {
        if (!screen.on_delete || !b.selected()) return;
        size_t row = *b.selected();
        screen.on_delete();
        // The deleted record leaves the list; the highlight goes one row up.
        b.reload();
        if (b.rows() > 0) b.select(row > 0 ? std::min(row - 1, b.rows() - 1) : 0);
        d.refresh(kBrowse);
        d.focus(kBrowse);
    };
    auto do_search = [&] {
        if (!screen.on_search) return;
        screen.on_search();
        d.reposition(kBrowse);
        d.focus(kBrowse);
    };

    d.on_button(kNew, do_new);
    d.on_button(kModify, do_modify);
    d.on_button(kDelete, do_delete);
    d.on_button(kSearch, do_search);
    d.on_button(kPrint, [&] {
        if (screen.on_print) screen.on_print();
    });
    d.on_button(kSpreadsheet, [&] {
        if (screen.on_spreadsheet) screen.on_spreadsheet();
    });
    d.on_button(kExit, [&] { d.close(0); });
    if (!screen.on_new) d.hide(kNew);
    if (!screen.on_modify) d.hide(kModify);
    if (!screen.on_delete) d.hide(kDelete);
    if (!screen.on_search) d.hide(kSearch);
    if (!screen.on_print) d.hide(kPrint);
    if (!screen.on_spreadsheet) d.hide(kSpreadsheet);
    b.on_enter(do_modify);
    b.on_insert(do_new);
    b.on_delete(do_delete);
    d.on_init([&] { d.focus(kBrowse); });
    if (screen.customise) screen.customise(d);
    ui.run(d);
}

}  // namespace gui
