#pragma once
// The login dialog: asks for the user code and password, checks them against the company's
// user table and loads the user's permissions into the session.
#include <string>

#include "app/session.hpp"
#include "gui/dialog.hpp"

namespace data {
class Workspace;
}
namespace gui {
class Ui;
}

namespace ui {

namespace login_ids {
inline constexpr int kCode = 101;
inline constexpr int kPassword = 102;
inline constexpr int kAccept = 175;
inline constexpr int kCancel = 176;
}  // namespace login_ids

// Template D_LOGIN titled "Sistema de Planilla " + title.
gui::DialogTemplate login_template(const std::string& title);

// Shows the login (start-up and company change pass mode 1 and "Planilla"). Both edits
// start as "KARU " so the seeded user logs in by pressing OK. Results: s.LPASE true only
// when accepted with OK; s.CPERMIS1, s.TOPUSER and the font preferences whenever the code
// and password are right (also after Cancel); s.CEMPRESA := 1. An unknown code beeps and
// alerts "Usuario no inscrito" / "Revisar", a wrong password beeps and alerts
// "Clave mal dada"; both leave LPASE false.
void PIDEUSER(app::Session& s, data::Workspace& ws, gui::Ui& ui, int mode, std::string title);

}  // namespace ui
