#include "ui/program.hpp"

#include "app/backup.hpp"
#include "app/maintenance.hpp"
#include "app/users.hpp"
#include "common/routines/picklists.hpp"
#include "data/workspace.hpp"
#include "ui/login.hpp"
#include "ui/users.hpp"

namespace ui {

app::Screens standard_screens() {
    app::Screens s;
    s.login = [](app::Context& c, int mode, const std::string& title) { PIDEUSER(c.s, c.ws, c.ui, mode, title); };
    s.seed_users = [](app::Context& c) { app::seed_users(c.ws.area("user")); };
    s.maintenance = [](app::Context& c) { app::U_MANT(c.s, c.ws, c.ui); };
    s.fill_picks = [](app::Context& c, const std::string& list) {
        if (list == "ARREMP") c.s.picks.ARREMP = common::routines::LLENAEMP(c.s, c.ws);
        else if (list == "ARRPPAG") c.s.picks.ARRPPAG = common::routines::LLENAPPAG(c.s, c.ws);
        else common::routines::fill_pick_lists(c.s, c.ws);
    };
    s.routines["U_USER"] = [](app::Context& c, const app::MenuCall&) { U_USER(c.s, c.ws, c.ui, c.clock); };
    s.routines["U_MANT"] = [](app::Context& c, const app::MenuCall&) { app::U_MANT(c.s, c.ws, c.ui); };
    s.routines["ZIPFILES"] = [](app::Context& c, const app::MenuCall&) {
        app::ZIPFILES(c.s, c.ws, c.ui, c.clock, c.s.RutaP);
    };
    return s;
}

}  // namespace ui
