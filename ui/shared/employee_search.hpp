#pragma once
// The employee search behind every employee-code field: the validation that resolves what
// was typed (VBUSPER) and the browse button beside the field (BUSPER).
//
// What was typed is resolved against `Per`: a number is zero-filled to four digits and taken
// directly when that employee exists and passes the level filter; otherwise every employee
// whose code starts with the number, or whose first surname contains the text, is offered
// in a list to choose from. The list is built in memory for this search alone, so two
// workstations searching at the same moment never meet.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/dialog.hpp"

namespace app {
struct Session;
struct CodeLists;
}
namespace data {
class Workspace;
}
namespace gui {
class Ui;
}

namespace ui::shared {

// What happens after an employee was taken: screens move the focus to the field that comes
// next for them (the selection check box, the name, a loan number, the vacation days...).
using AfterEmployee = std::function<void(gui::Dialog&)>;
// The common case: focus the control `id`.
AfterEmployee focus_to(int id);

// The fields of the calling screen the search fills.
struct EmployeeField {
    int code_id = 0;     // the code edit: receives the code (CPERINI)
    int name_id = 0;     // receives the employee name (CNOMINI); 0 when the screen has none
    AfterEmployee next;  // run once an employee was taken; may be empty
};

// Which employees may be chosen: level 0 any; level 1 those whose PEACTIVI is below `limit`.
inline constexpr int kAnyEmployee = 0;
inline constexpr int kBelowLimit = 1;

// One row of the match list.
struct EmployeeMatch {
    std::string code;
    std::string surnames;  // both surnames, cut to 25 characters
    std::string names;     // both names, cut to 25 characters
    std::string state;     // the ARRACTI entry of PEACTIVI
};

// The employees `text` (trimmed, not empty) stands for, in code order: a text of digits
// (zero-filled to four) matches the codes that start with it, any other text (in upper case)
// the first surnames that contain it. Leaves `Per` in tag 1 at end of file.
std::vector<EmployeeMatch> match_employees(data::Workspace& ws, const app::CodeLists& lists, std::string_view text,
                                           int level, int limit);

// Template "Archi_Bus" ("Registros de Personal seleccionados"): browse 181, buttons 175 and 240.
gui::DialogTemplate archi_bus_template();

// The validation of an employee-code field. An empty field is valid and nothing changes.
// Otherwise the employee is resolved as above (showing the match list when needed), GVARCLA,
// CPERINI and CNOMINI receive the code and the name, the screen's fields are filled and
// `next` runs; when none was taken (no match, or the list closed with 240 or Escape) all
// three are blanked, the fields are cleared and the result is false, so the field keeps the
// focus. The caller's current area and its tag are restored; `Per` stays on the employee
// taken (tag 1) or where it was.
bool VBUSPER(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Dialog& d, const EmployeeField& field,
             int level = kAnyEmployee, int limit = 7);
// Installs VBUSPER as the validation of field.code_id (Escape still leaves the dialog).
void bind_employee_search(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Dialog& d, EmployeeField field,
                          int level = kAnyEmployee, int limit = 7);

// Template "D_BUS_TAB" ("Registros de Personal"): browse 181, buttons 176 search by code,
// 177 search by first surname, 175 select, 240 exit.
gui::DialogTemplate bus_tab_template();

// The browse button beside an employee-code field: every employee of `Per` in code order
// (level 1: PEACTIVI below 7). 176 and 177 ask "Buscar por" / "Codigo" or "Descripcion" and
// move to the nearest code or first surname; 175, Enter or double click take the highlighted
// employee into CPERINI / CNOMINI / GVARCLA and the screen's fields, run `next` and close
// (true); 240 sets GVARCLA to ten blanks and closes (false). Afterwards the filter of `Per`
// is removed, its tag 1 selected and the caller's current area and tag restored.
bool BUSPER(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Dialog& d, const EmployeeField& field,
            int level = kAnyEmployee);

}  // namespace ui::shared
