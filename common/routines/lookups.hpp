#pragma once
// Look-ups in another table that leave the caller's position alone, and the employee name
// every look-up and list shows.
#include <string>
#include <string_view>

namespace xbase {
class Table;
}
namespace data {
class Workspace;
}
namespace gui {
class Ui;
}
namespace app {
struct Session;
}

namespace common::routines {

// Seeks `key` in `alias` under `tag` (by name, or by number: 1 = first tag). True when
// found. The caller's current area and its tag are restored afterwards; `alias` stays on
// the record found (end of file when not found) under `tag`.
bool F_BUSCA(data::Workspace& ws, std::string_view alias, std::string_view tag, std::string_view key);
bool F_BUSCA(data::Workspace& ws, std::string_view alias, int tag, std::string_view key);

inline constexpr int kConceptCodeWidth = 3;
inline constexpr int kCostCentreWidth = 10;
inline constexpr int kEmployeeCodeWidth = 4;
inline constexpr int kEmployeeNameWidth = 40;

// The alias (CPALIAS) of the concept `code` in `Con`, or eight blanks. A blank code gives
// eight blanks quietly; a missing one alerts "Concepto no Ubicado : " + code / "Revisar".
// The code is compared whole (padded to three characters), so "01" never finds "010".
std::string BUSCACON(data::Workspace& ws, gui::Ui& ui, std::string_view code);

inline constexpr std::string_view kNoCostCentre = "C.Costo no Existe";
// The trimmed description of cost centre `code` in work area 1 `Cto`, 2 `Cto2` or 3 `Cto3`,
// or "C.Costo no Existe"; the result is also left in NOMCTO. Any other `which` throws
// std::invalid_argument.
std::string BUSCACC(app::Session& s, data::Workspace& ws, int which, std::string_view code);

// The name of employee `code` in `Per` (tag 1), or thirty blanks. Clears the filter of `Per`
// first, so an employee a listing filtered out is still named.
std::string UBIPERP(data::Workspace& ws, std::string_view code);

// First surname, second surname, first name and second name, each trimmed, joined by one
// blank and cut to forty characters.
std::string employee_name(std::string_view surname1, std::string_view surname2, std::string_view name1,
                          std::string_view name2);
// The same from the current record of PERSONAL (PEAPELLI, PEAPELL2, PENOMBRE, PENOMBR2).
std::string employee_name(const xbase::Table& per);

}  // namespace common::routines
