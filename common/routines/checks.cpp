#include "common/routines/checks.hpp"

#include "app/session.hpp"
#include "common/dates.hpp"
#include "common/picture.hpp"
#include "common/routines/text.hpp"
#include "data/workspace.hpp"
#include "gui/ui.hpp"
#include "xbase/table.hpp"

namespace common::routines {

bool VALPPG(app::Session& s, data::Workspace& ws, gui::Ui& ui) {
    data::Workspace::Keep keep(ws, "Ppg");
    xbase::Table& t = ws.area("Ppg");
    s.MALPPG = 0;
    for (t.go_top(); !t.eof(); t.skip()) {
        const int month = static_cast<int>(field_number(t, "PPMESPRO"));
        const int first = common::month_of(field_date(t, "PPFECINI"));
        const int last = common::month_of(field_date(t, "PPFECFIN"));
        if (month != first && month != last) {
            ui.alert("Periodo mal..." + field_text(t, "PPCODIGO"), "Meses no corresponden con las fechas, Revisar");
            s.MALPPG = 1;
        }
    }
    return s.MALPPG == 1;
}

void AVISOCON(data::Workspace& ws, gui::Ui& ui) {
    const std::string caller = ws.has_current() ? ws.current_alias() : std::string();
    xbase::Table& t = ws.area("Con");
    t.set_order("CON1");
    for (t.go_top(); !t.eof(); t.skip()) {
        if (!field_flag(t, "CPAVISO")) continue;
        ui.alert("[Valor en ] ==>" + common::transform(field_number(t, "CPIMPORT"), "9999.99"),
                 left(field_text(t, "CPDESCRI"), 30));
    }
    ws.go_top("Con");
    if (!caller.empty()) ws.select(caller);
}

}  // namespace common::routines
