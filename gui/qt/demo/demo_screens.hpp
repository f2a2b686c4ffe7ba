#pragma once
// The screens of the demonstration program, also driven by the backend's tests: a worker's
// record with every kind of control, and the employee list over a PERSONAL table.
#include <memory>
#include <string>
#include <vector>

#include "gui/browse.hpp"
#include "gui/dialog.hpp"
#include "xbase/table.hpp"

namespace gui::demo {

namespace ids {
inline constexpr int kHeading = 100;
inline constexpr int kName = 101;
inline constexpr int kYear = 102;
inline constexpr int kSalary = 103;
inline constexpr int kHired = 104;
inline constexpr int kPassword = 105;
inline constexpr int kState = 106;
inline constexpr int kForeign = 107;
inline constexpr int kSex = 108;
inline constexpr int kMale = 1081;
inline constexpr int kFemale = 1082;
inline constexpr int kFolder = 120;
inline constexpr int kNotes = 121;
inline constexpr int kHours = 122;
inline constexpr int kList = 130;
inline constexpr int kSave = 175;
inline constexpr int kExit = 240;
}  // namespace ids

inline std::vector<std::string> worker_states() {
    return {"1 Activo", "2 Subsidio", "3 Vacación", "4 Lic.C/Go", "5 Lic.S/Go", "6 ---------", "7 Cesado", "8 Otro"};
}

inline DialogTemplate worker_template() {
    using namespace ids;
    DialogTemplate notes("NOTAS", "Notas");
    notes.memo(kNotes, "&Observaciones", 44, 5);
    notes.number(kHours, "&Horas extra", "@Z 999.99");
    DialogTemplate list("LISTA", "Personal");
    list.browse(kList, 8);

    DialogTemplate t("D_DEMO", "Ficha del trabajador");
    t.label(kHeading, "Datos del trabajador");
    t.edit(kName, "&Nombre", "@!", 30);
    t.number(kYear, "&Año de proceso", "9999");
    t.number(kSalary, "&Sueldo", "999,999.99");
    t.date(kHired, "&Fecha de ingreso");
    t.password(kPassword, "C&lave", 5);
    t.combo(kState, "&Estado", worker_states());
    t.check(kForeign, "E&xtranjero");
    t.radio(kSex, "Sexo", {"&Masculino", "Fe&menino"}, {kMale, kFemale});
    t.tabs(kFolder, {"&Notas", "&Personal"}, {notes, list});
    t.button(kSave, "&Grabar", "grabar", "Grabar los cambios");
    t.button(kExit, "&Salir", "salir", "Salir de esta opción").beside();
    return t;
}

// The employee list in code order, with the records whose state is 7 ("Cesado") or more
// left out; deleted records are hidden by the table.
inline std::shared_ptr<Browse> employee_browse(xbase::Table& personal) {
    personal.set_order("PER1");
    personal.go_top();
    int state = personal.field_index("PEACTIVI");
    auto source = std::make_shared<TableSource>(
        personal, [state](xbase::Table& t) { return t.get_number(state) < 7; });
    std::vector<BrowseColumn> cols{
        field_column(personal, "PECODEMP", "Código"),
        field_column(personal, "PEAPELLI", "Apellido paterno"),
        field_column(personal, "PEAPELL2", "Apellido materno"),
        field_column(personal, "PENOMBRE", "Nombre"),
        field_column(personal, "PESUELDO", "Sueldo", "999,999.99"),
        field_column(personal, "PEFECING", "Ingreso"),
    };
    return std::make_shared<Browse>(source, std::move(cols));
}

}  // namespace gui::demo
