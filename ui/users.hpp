#pragma once
// The user screen: the master-file screen over USUARIOS with the user dialog (code, name,
// password and the check boxes of the permission positions 1-72), delete, search by code
// and the printed list of users.
#include <array>
#include <string>
#include <string_view>

#include "app/session.hpp"
#include "gui/dialog.hpp"

namespace data {
class Workspace;
}
namespace gui {
class Ui;
class Clock;
namespace print {
class Job;
}
}  // namespace gui

namespace ui {

namespace user_ids {
inline constexpr int kCode = 104;
inline constexpr int kPassword = 105;
inline constexpr int kName = 106;
inline constexpr int kSave = 175;
inline constexpr int kCancel = 240;
}  // namespace user_ids

// One check box of the user dialog: the permission position it edits, its control id and
// its label (empty for positions that enable nothing and have no label).
struct PermissionBox {
    int position;
    int id;
    std::string_view label;
};
const std::array<PermissionBox, 72>& permission_boxes();

// Template D_USER, "Accesos a Opciones de la Planilla".
gui::DialogTemplate user_template();

// Shown when a record cannot be locked for writing; nothing is written.
inline constexpr std::string_view kRecordBusyText = "Registro en uso por otro usuario, no se grabó";
inline constexpr std::string_view kRecordBusyTitle = "Revisar";
inline constexpr std::string_view kBlankCodeText = "Debe ingresar una Código para que el registro se valide";

// The user dialog over the open area "user": a new user (blank, every flag off) or the
// current record. Returns true when the record was written; the table is then on its
// first record. Otherwise the table is back on the record it was on.
bool EDITUSER(app::Session& s, data::Workspace& ws, gui::Ui& ui, bool is_new);

// The confirmation of a delete of the current user record.
std::string delete_question(std::string_view code, std::string_view name);

// The printed list of users, from the first record in code order; the table is returned to
// the record that was current.
gui::print::Job LISTUSER(app::Session& s, data::Workspace& ws, const gui::Clock& clock);

// The user screen. When it closes, the logged-in user (TOPUSER) is sought again and
// CPERMIS1 reloaded from the record; when the user is gone, "Usuario no Ubicado : " +
// TOPUSER is shown and the permissions in memory stay.
void U_USER(app::Session& s, data::Workspace& ws, gui::Ui& ui, const gui::Clock& clock);

}  // namespace ui
