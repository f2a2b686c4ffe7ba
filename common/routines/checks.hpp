#pragma once
// Two checks run before the payroll calculation: periods whose month disagrees with their
// dates, and the concepts marked to show their constant when a calculation starts.
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

// Over every record of `Ppg`: a period whose PPMESPRO differs from the month of both
// PPFECINI and PPFECFIN alerts "Periodo mal..." + PPCODIGO / "Meses no corresponden con las
// fechas, Revisar". MALPPG becomes 1 when any did, else 0; returns MALPPG == 1. The table's
// position and the current area are kept.
bool VALPPG(app::Session& s, data::Workspace& ws, gui::Ui& ui);

// Over `Con` in tag CON1: every concept with CPAVISO alerts "[Valor en ] ==>" + CPIMPORT
// under "9999.99", titled with the first 30 characters of CPDESCRI. Leaves `Con` on its
// first record in CON1.
void AVISOCON(data::Workspace& ws, gui::Ui& ui);

}  // namespace common::routines
