#pragma once
// Small prompts shared by the screens: the spreadsheet file name, the process year, the
// report font size, and the reset of the listing filters.
#include <string>
#include <string_view>

#include "gui/dialog.hpp"

namespace app {
struct Session;
}
namespace gui {
class Ui;
class Clock;
}

namespace ui::shared {

// ---- Spreadsheet file name (D_HOJEXC) ----------------------------------------------------

// A name the spreadsheet file may take: one to eight characters, each A-Z, 0-9, "_" or "-".
// Anything else (a path, "..", a blank name) is refused, so the file always lands in the
// working directory under the name the user saw.
bool valid_sheet_name(std::string_view name);
inline constexpr std::string_view kBadSheetNameText =
    "Nombre de archivo no válido: de 1 a 8 letras, números, \"_\" o \"-\"";
inline constexpr std::string_view kBadSheetNameTitle = "Revisar";

gui::DialogTemplate hojexc_template();
// Asks for the file name, pre-filled with `default_name` (edit 176, upper case); 175 accepts
// and 240 (or Escape) cancels. A name that is not valid_sheet_name alerts and is asked again.
// Accepted: CHOJEXC = the trimmed name in upper case, XSALIR false, returns true. Cancelled: XSALIR true,
// CHOJEXC unchanged, returns false.
bool PIDEXCEL(app::Session& s, gui::Ui& ui, std::string_view default_name);
// Where the spreadsheet named CHOJEXC is written: RutaW + "/" + CHOJEXC + ".XLS".
std::string spreadsheet_path(const app::Session& s);

// ---- Process year (D_PIDE_ANO) -------------------------------------------------------------

inline constexpr int kFirstProcessYear = 2006;
inline constexpr int kLastProcessYear = 2014;
gui::DialogTemplate pide_ano_template();
// "Solicita Año de Proceso": year edit 177 ("9999") pre-filled with today's year, valid only
// from 2006 to 2014 (an alert says so and the focus stays); 175 accepts, 240 cancels.
// Accepted: CANO = the year, XSALIR false, true. Cancelled: XSALIR true, false.
bool PIDANO(app::Session& s, gui::Ui& ui, const gui::Clock& clock);

// ---- Report font size (D_PIDEPUNTO) --------------------------------------------------------

gui::DialogTemplate pide_punto_template();
// Options "8".."12" (ids 179, 180, 178, 181, 182); `size` preselects its option, the first
// when outside 8..12. 175 accepts: CPUNTOS = the size chosen, XSALIR false. 176 or Escape
// cancels: XSALIR true, CPUNTOS unchanged. Returns CPUNTOS.
int PIDEPUNTOS(app::Session& s, gui::Ui& ui, int size);

// ---- Listing filters -----------------------------------------------------------------------

// Puts the listing filter values back to their defaults before a listing screen asks for
// them: currency 1, no spreadsheet ("FILE_EXC"), class 1, no cost-centre, employee or free
// filters, CPUNTOS = NNUMFONT, order 2.
void PIDERANGOPER(app::Session& s);

}  // namespace ui::shared
